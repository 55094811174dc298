#include "change_list.h"

#include "decimal_text.h"

ChangeList::ChangeList(QWidget* parent)
    : QAbstractScrollArea(parent)
{
}

void ChangeList::addItem(std::uint8_t value) { model_.append(value); }

void ChangeList::clear() { model_.clear(); }

QString ChangeList::itemText(std::size_t row) const
{
    return QString::fromStdString(decimal_text(model_.at(row)));
}
