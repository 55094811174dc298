// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace core {

// Where each control of the main window sits, in twips, the window's own unit
// (1440 to the inch). Left and Top count from the parent's top-left corner: the
// client area for a control on the window, the outer corner (caption line
// included) for a control inside a group box.
struct ControlPlace {
    std::string_view name;
    int left;
    int top;
    int width;
    int height;
};

// 15 twips make one pixel at 96 dots per inch.
inline constexpr int twips_per_pixel = 15;

[[nodiscard]] constexpr int twips_to_pixels(int twips) noexcept { return twips / twips_per_pixel; }

// The client area of the window: 225 by 235 pixels.
inline constexpr int form_width_twips = 3375;
inline constexpr int form_height_twips = 3525;

// In the order in which the window holds its controls, which is also their
// stacking order: of two overlapping siblings the earlier one lies on top.
// The timer has no place on screen and is not listed.
inline constexpr std::array<ControlPlace, 31> control_places { {
    { "Frame6", 120, 1680, 1815, 615 },
    { "chk_255", 120, 240, 1455, 255 },
    { "Frame5", 1080, 960, 855, 615 },
    { "txt_interval", 120, 240, 615, 285 },
    { "List1", 2160, 480, 975, 1620 },
    { "Frame4", 120, 960, 855, 615 },
    { "txt_list", 120, 240, 615, 285 },
    { "Frame3", 2040, 240, 1215, 2055 },
    { "btn_list", 1080, 3000, 1215, 375 },
    { "Frame1", 120, 240, 855, 615 },
    { "txt_port", 120, 240, 615, 285 },
    { "btn_ende", 2400, 3000, 855, 375 },
    { "btn_start", 120, 3000, 855, 375 },
    { "Frame2", 1080, 240, 855, 615 },
    { "txt_ausgabe", 120, 240, 615, 285 },
    // Lamps: bit 7 on the left, bit 0 on the right, a wider gap between the
    // two halves of the byte.
    { "an1", 2880, 2520, 240, 255 },
    { "an2", 2520, 2520, 240, 255 },
    { "an3", 2160, 2520, 240, 255 },
    { "an4", 1800, 2520, 240, 255 },
    { "an5", 1320, 2520, 240, 255 },
    { "an6", 960, 2520, 240, 255 },
    { "an7", 600, 2520, 240, 255 },
    { "aus1", 2880, 2520, 240, 255 },
    { "aus2", 2520, 2520, 240, 255 },
    { "aus3", 2160, 2520, 240, 255 },
    { "aus4", 1800, 2520, 240, 255 },
    { "aus5", 1320, 2520, 240, 255 },
    { "aus6", 960, 2520, 240, 255 },
    { "aus7", 600, 2520, 240, 255 },
    { "an8", 240, 2520, 240, 255 },
    { "aus8", 240, 2520, 240, 255 },
} };

// The place of the control with that name, if the window has one.
[[nodiscard]] constexpr std::optional<ControlPlace> control_place(std::string_view name) noexcept
{
    for (const ControlPlace& place : control_places) {
        if (place.name == name)
            return place;
    }
    return std::nullopt;
}

} // namespace core
