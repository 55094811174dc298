#pragma once

#include <QString>

#include <exception>

class QWidget;

// The run-time error report: a modal message box titled "Movanta" naming the error,
// and the same as one line on standard error.
void show_error_report(QWidget* parent, const std::exception& error);

// The report's text, e.g. "Laufzeitfehler '6':\n\nÜberlauf".
[[nodiscard]] QString error_report_text(const std::exception& error);
