// SPDX-License-Identifier: MIT
// The change list's view: painting the rows in sight, keys, mouse, tooltips, catching up.
#include "ui/change_list.h"

#include "core/decimal_text.h"
#include "core/record_time_text.h"
#include "core/runtime_error.h"
#include "ui/change_list_rows.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimerEvent>
#include <QToolTip>

#include <algorithm>
#include <climits>
#include <optional>

using namespace core;
using namespace ui;

namespace {

// Pixels between the text and the left and right edges of a row.
constexpr int text_margin = 2;

// Room for decimal_text(), which writes at most 20 characters.
constexpr std::size_t digits_size = 20;

QString entry_text(std::uint8_t value)
{
    char digits[digits_size];
    const std::size_t length = decimal_text(value, digits);
    return QString::fromLatin1(digits, static_cast<qsizetype>(length));
}

std::optional<change_list_rows::Move> move_for(int key)
{
    using change_list_rows::Move;
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Left: // a one-column list box takes Left and Right as Up and Down
        return Move::Up;
    case Qt::Key_Down:
    case Qt::Key_Right:
        return Move::Down;
    case Qt::Key_PageUp:
        return Move::PageUp;
    case Qt::Key_PageDown:
        return Move::PageDown;
    case Qt::Key_Home:
        return Move::Home;
    case Qt::Key_End:
        return Move::End;
    default:
        return std::nullopt;
    }
}

} // namespace

ChangeList::ChangeList(const ChangeRecord& record, QWidget* parent)
    : QAbstractScrollArea(parent)
    , record_(record)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    row_height_ = std::max(1, fontMetrics().height());
    updateScrollRange();
}

void ChangeList::entriesAdded()
{
    if (!refresh_.isActive())
        refresh_.start(refresh_ms, this);
}

void ChangeList::recordCleared()
{
    refresh_.stop();
    shown_count_ = 0;
    const bool had_current = current_ != -1;
    current_ = -1;
    updateScrollRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    if (had_current)
        Q_EMIT currentRowChanged(-1);
}

QString ChangeList::itemText(std::size_t row) const
{
    if (row >= record_.size())
        return {};
    return entry_text(record_[row]);
}

void ChangeList::setCurrentRow(std::ptrdiff_t row)
{
    if (row < -1 || row >= static_cast<std::ptrdiff_t>(count()))
        throw RuntimeError::invalid_property_value();
    catchUp();
    if (row >= 0)
        verticalScrollBar()->setValue(static_cast<int>(std::min<std::ptrdiff_t>(
            INT_MAX, change_list_rows::top_row_showing(row, topRow(), fullRows()))));
    if (row == current_)
        return;
    current_ = row;
    viewport()->update();
    Q_EMIT currentRowChanged(row);
}

std::ptrdiff_t ChangeList::topRow() const { return verticalScrollBar()->value(); }

void ChangeList::scrollToBottom()
{
    catchUp();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

std::ptrdiff_t ChangeList::rowAt(QPoint viewport_pos) const
{
    if (!viewport()->rect().contains(viewport_pos))
        return -1;
    return change_list_rows::row_at(
        viewport_pos.y(), topRow(), row_height_, static_cast<std::ptrdiff_t>(count()));
}

void ChangeList::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const std::ptrdiff_t top = topRow();
    const int width = viewport()->width();
    const auto row_rect = [&](std::ptrdiff_t row) {
        return QRect(0, static_cast<int>(row - top) * row_height_, width, row_height_);
    };
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
        : isActiveWindow()                          ? QPalette::Active
                                                    : QPalette::Inactive;
    const QPalette& colours = palette();

    const auto rows = change_list_rows::visible(
        top, viewport()->height(), row_height_, static_cast<std::ptrdiff_t>(count()));
    for (std::ptrdiff_t row = rows.first; row < rows.end; ++row) {
        const QRect rect = row_rect(row);
        if (!rect.intersects(event->rect()))
            continue;
        if (row == current_) {
            painter.fillRect(rect, colours.color(group, QPalette::Highlight));
            painter.setPen(colours.color(group, QPalette::HighlightedText));
        } else {
            painter.setPen(colours.color(group, QPalette::Text));
        }
        painter.drawText(rect.adjusted(text_margin, 0, -text_margin, 0),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            entry_text(record_[static_cast<std::size_t>(row)]));
    }

    if (!hasFocus())
        return;
    // The focus frame sits on the current row, or on the top row while there is none;
    // an empty list shows it where its first entry would go.
    const std::ptrdiff_t focus_row = current_ >= 0 ? current_ : top;
    const std::ptrdiff_t slots = (viewport()->height() + row_height_ - 1) / row_height_;
    if (focus_row < top || focus_row >= top + slots)
        return;
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = row_rect(focus_row);
    option.state |= QStyle::State_KeyboardFocusChange;
    option.backgroundColor
        = colours.color(group, focus_row == current_ ? QPalette::Highlight : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void ChangeList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    catchUp();
    updateScrollRange();
}

void ChangeList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        event->accept();
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&request);
        return;
    }
    const auto move = move_for(event->key());
    if (!move) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
    const std::ptrdiff_t row = change_list_rows::after_move(
        *move, current_, topRow(), fullRows(), static_cast<std::ptrdiff_t>(count()));
    if (row >= 0)
        setCurrentRow(row);
}

void ChangeList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    event->accept();
    const std::ptrdiff_t row = rowAt(event->position().toPoint());
    if (row >= 0)
        setCurrentRow(row);
}

void ChangeList::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    event->accept();
    selectRowUnderMouse(event->position().toPoint().y());
}

// Dragging with the button held selects the row under the mouse; above or below the
// view it selects the next row out there, which scrolls by one row per move.
void ChangeList::selectRowUnderMouse(int y)
{
    const auto rows = static_cast<std::ptrdiff_t>(count());
    if (rows == 0)
        return;
    const std::ptrdiff_t top = topRow();
    std::ptrdiff_t row = 0;
    if (y < 0)
        row = top - 1;
    else if (y >= viewport()->height())
        row = top + fullRows();
    else
        row = top + y / row_height_;
    setCurrentRow(std::clamp<std::ptrdiff_t>(row, 0, rows - 1));
}

void ChangeList::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void ChangeList::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void ChangeList::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
        row_height_ = std::max(1, fontMetrics().height());
        updateScrollRange();
        viewport()->update();
        break;
    case QEvent::PaletteChange:
    case QEvent::ActivationChange:
    case QEvent::EnabledChange:
        viewport()->update();
        break;
    default:
        break;
    }
}

void ChangeList::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == refresh_.timerId())
        catchUp();
    else
        QAbstractScrollArea::timerEvent(event);
}

void ChangeList::scrollContentsBy(int, int)
{
    // The scroll bar counts rows, not pixels, so the picture is drawn afresh.
    viewport()->update();
}

void ChangeList::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() != QContextMenuEvent::Keyboard) {
        Q_EMIT contextMenuWanted(event->globalPos());
        return;
    }
    // Below the current row, or at the list's top left when none is in view.
    const std::ptrdiff_t below = current_ - topRow() + 1;
    const int y = current_ >= 0 && below > 0 && below <= fullRows()
        ? static_cast<int>(below) * row_height_
        : 0;
    Q_EMIT contextMenuWanted(viewport()->mapToGlobal(QPoint(text_margin, y)));
}

// An entry's tooltip is the moment it was read, e.g. "08.12.2026 10:15:02,123456".
bool ChangeList::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QAbstractScrollArea::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const std::ptrdiff_t row = rowAt(help->pos());
    if (row < 0 || static_cast<std::size_t>(row) >= shown_count_) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const QRect rect(
        0, static_cast<int>(row - topRow()) * row_height_, viewport()->width(), row_height_);
    QToolTip::showText(help->globalPos(),
        QString::fromStdString(german_time_text(record_.time_us(static_cast<std::size_t>(row)))),
        viewport(), rect);
    return true;
}

void ChangeList::catchUp()
{
    refresh_.stop();
    const std::size_t before = shown_count_;
    shown_count_ = count();
    if (before == shown_count_)
        return;
    updateScrollRange();
    const auto first_new = static_cast<std::ptrdiff_t>(before) - topRow();
    if (first_new * row_height_ < viewport()->height()) {
        const int y = static_cast<int>(std::max<std::ptrdiff_t>(0, first_new)) * row_height_;
        viewport()->update(0, y, viewport()->width(), viewport()->height() - y);
    }
}

void ChangeList::updateScrollRange()
{
    const std::ptrdiff_t full = fullRows();
    const std::ptrdiff_t last_top
        = change_list_rows::last_top_row(static_cast<std::ptrdiff_t>(shown_count_), full);
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(1);
    bar->setPageStep(static_cast<int>(std::min<std::ptrdiff_t>(INT_MAX, full)));
    // Past INT_MAX rows (24 days of changes at 1 ms) the scroll bar stops short; the
    // entries stay stored and counted.
    bar->setRange(0, static_cast<int>(std::min<std::ptrdiff_t>(INT_MAX, last_top)));
}

std::ptrdiff_t ChangeList::fullRows() const noexcept
{
    return change_list_rows::full_rows(viewport()->height(), row_height_);
}
