#pragma once

#include <QAbstractScrollArea>

#include <cstddef>
#include <cstdint>
#include <vector>

// The entries of the change list: one byte each, formatted only when shown.
class ChangeListModel {
public:
    void append(std::uint8_t value) { values_.push_back(value); }
    void clear() { values_.clear(); values_.shrink_to_fit(); }
    [[nodiscard]] std::size_t size() const noexcept { return values_.size(); }
    [[nodiscard]] std::uint8_t at(std::size_t row) const { return values_.at(row); }

private:
    std::vector<std::uint8_t> values_;
};

// The list box of the window: unsorted, one column, any number of entries.
// Adding an entry costs the same at ten million entries as at ten.
class ChangeList : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ChangeList(QWidget* parent = nullptr);

    // Adds an entry at the end.
    void addItem(std::uint8_t value);
    // Removes every entry.
    void clear();
    // The number of entries, always current.
    [[nodiscard]] std::size_t count() const noexcept { return model_.size(); }
    // The text shown for an entry: its decimal digits.
    [[nodiscard]] QString itemText(std::size_t row) const;

private:
    ChangeListModel model_;
};
