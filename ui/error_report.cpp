// SPDX-License-Identifier: MIT
#include "ui/error_report.h"

#include "core/run_time_report.h"

#include <QMessageBox>
#include <QString>

#include <algorithm>
#include <cstdio>

using namespace core;

namespace ui {

QString report_box_text(const QString& text)
{
    constexpr qsizetype most_characters = 1000;
    constexpr qsizetype most_lines = 20;
    qsizetype end = std::min(text.size(), most_characters);
    for (qsizetype at = 0, lines = 1; at < end; ++at) {
        if (text[at] == u'\n' && ++lines > most_lines)
            end = at;
    }
    if (end == text.size())
        return text;
    if (end > 0 && text[end - 1].isHighSurrogate())
        --end; // never half a character
    return text.left(end) + QChar(0x2026); // …
}

QString error_report_text(const std::exception& error)
{
    return QString::fromStdString(run_time_report_text(error));
}

void show_error_report(QWidget* parent, const std::exception& error)
{
    const QString text = error_report_text(error);
    const QByteArray line
        = QString(text).replace(QStringLiteral("\n\n"), QStringLiteral(" ")).toUtf8();
    std::fprintf(stderr, "movanta: %s\n", line.constData());
    std::fflush(stderr);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Movanta"), report_box_text(text),
        QMessageBox::Ok, parent);
    box.exec();
}

} // namespace ui
