// SPDX-License-Identifier: MIT
// The cursor of a line edit moved to its text's start before the box paints or takes the
// focus.
#include "ui/text_from_start.h"

#include <QEvent>
#include <QLineEdit>

namespace ui {

TextFromStart::TextFromStart(QLineEdit* box)
    : QObject(box)
    , box_(box)
{
    box->installEventFilter(this);
}

void TextFromStart::setText(QLatin1StringView text)
{
    box_->setText(text);
    start_due_ = true;
    // The caret shows only in a box that has the focus and takes input: there it must be
    // at the start at once.
    if (box_->hasFocus() && !box_->isReadOnly())
        moveToStart();
}

bool TextFromStart::eventFilter(QObject* watched, QEvent* event)
{
    // Before the box paints, and before a click or Tab that gives it the focus places the
    // cursor or selects.
    if (start_due_ && (event->type() == QEvent::Paint || event->type() == QEvent::FocusIn))
        moveToStart();
    return QObject::eventFilter(watched, event);
}

void TextFromStart::moveToStart()
{
    start_due_ = false;
    // A selection made since the text was set is the user's and stays.
    if (!box_->hasSelectedText())
        box_->setCursorPosition(0);
}

} // namespace ui
