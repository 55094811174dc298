// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <exception>

class QWidget;

namespace ui {

// The run-time error report: a modal message box titled "Movanta" naming the error,
// and the same as one line on standard error.
void show_error_report(QWidget* parent, const std::exception& error);

// What the message box shows of a report's text: a driver's reason may be a megabyte, which
// would freeze the window while a box as tall as the screen is laid out. At most 1,000
// characters and 20 lines, then "…"; standard error gets the whole text.
[[nodiscard]] QString report_box_text(const QString& text);

// The report's text, e.g. "Laufzeitfehler '6':\n\nÜberlauf".
[[nodiscard]] QString error_report_text(const std::exception& error);

} // namespace ui
