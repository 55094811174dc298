// SPDX-License-Identifier: MIT
#include "error_report.h"

#include "runtime_error.h"

#include <QMessageBox>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <new>

namespace {

int error_number(const std::exception& error)
{
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error))
        return runtime->number();
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return 7; // out of memory
    return 0;
}

QString error_message(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QStringLiteral("Nicht genügend Speicher");
    return QString::fromUtf8(error.what());
}

} // namespace

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
    return QStringLiteral("Laufzeitfehler '%1':\n\n%2")
        .arg(error_number(error))
        .arg(error_message(error));
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
