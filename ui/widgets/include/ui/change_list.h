// SPDX-License-Identifier: MIT
// The list box of the window, showing the change record.
#pragma once

#include "core/change_record.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <cstddef>
#include <cstdint>

// The list box of the window: unsorted, one column, single selection, any number of
// entries. It shows a change record that someone else owns and fills. Adding an entry costs
// the same at ten million entries as at ten: the owner stores the byte and its time and calls
// entriesAdded(), and the scroll bar and picture catch up at most once per screen refresh
// (refresh_ms after the first of a run of additions). count() is always current.
// Scroll positions are in rows; the view's top row stays where it is when entries come.
class ChangeList : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Milliseconds between catch-ups of the view while entries come: one screen refresh.
    static constexpr int refresh_ms = 16;

    // record: the entries shown, which must outlive the list.
    explicit ChangeList(const core::ChangeRecord& record, QWidget* parent = nullptr);

    // The record has new entries at its end; each entry's tooltip shows its time.
    void entriesAdded();
    // The record was emptied: leaves no current row and scrolls to the top.
    void recordCleared();
    // The number of entries, always current.
    [[nodiscard]] std::size_t count() const noexcept { return record_.size(); }
    // The text shown for an entry: its decimal digits ("0" to "255"); empty for a row at
    // or past count().
    [[nodiscard]] QString itemText(std::size_t row) const;

    // The selected row, which keyboard and mouse move; -1 for none.
    [[nodiscard]] std::ptrdiff_t currentRow() const noexcept { return current_; }
    // Selects row and scrolls it into view; -1 selects none. Any other row outside the
    // entries throws RuntimeError::invalid_property_value() and changes nothing.
    void setCurrentRow(std::ptrdiff_t row);

    // The entry shown in the top row of the view.
    [[nodiscard]] std::ptrdiff_t topRow() const;
    // Scrolls so that the last entry shows in the bottom row.
    void scrollToBottom();
    // Pixels per row, from the font.
    [[nodiscard]] int rowHeight() const noexcept { return row_height_; }
    // The entry under a point of the viewport, or -1 where there is none.
    [[nodiscard]] std::ptrdiff_t rowAt(QPoint viewport_pos) const;

Q_SIGNALS:
    void currentRowChanged(std::ptrdiff_t row);
    // The right button, the Menu key or Shift+F10 asks for a context menu at global_pos:
    // under the mouse, or from the keyboard under the current row.
    void contextMenuWanted(QPoint global_pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Brings the scroll bar up to the entries and repaints if new entries are in view.
    void catchUp();
    void updateScrollRange();
    [[nodiscard]] std::ptrdiff_t fullRows() const noexcept;
    void selectRowUnderMouse(int y);

    const core::ChangeRecord& record_;
    QBasicTimer refresh_;
    // Entries the scroll bar and picture knew of at the last catch-up.
    std::size_t shown_count_ = 0;
    std::ptrdiff_t current_ = -1;
    int row_height_ = 1;
};
