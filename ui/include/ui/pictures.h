// SPDX-License-Identifier: MIT
#pragma once

class QIcon;
class QPixmap;

namespace ui {

// The pictures the window shows, kept as small image files in the program's
// resources (images/).

// A red lamp, lit and unlit: 16 by 17 pixels in the standard 16-colour palette.
[[nodiscard]] QPixmap lit_lamp_picture();
[[nodiscard]] QPixmap unlit_lamp_picture();

// The program's icon at 16, 32 and 48 pixels.
[[nodiscard]] QIcon movanta_icon();

} // namespace ui
