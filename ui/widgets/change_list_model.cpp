#include "change_list_model.h"

#include <stdexcept>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ChangeListModel::clear() noexcept
{
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
#if defined(__GLIBC__)
    // glibc keeps blocks of this size in its heap after free(), where anything allocated
    // later pins them; this hands their pages back to the system.
    malloc_trim(0);
#endif
}

std::uint8_t ChangeListModel::at(std::size_t row) const
{
    if (row >= size_)
        throw std::out_of_range(
            "change list row " + std::to_string(row) + " of " + std::to_string(size_) + " entries");
    return (*this)[row];
}

// Out of line: runs once per 65,536 appends and keeps append() small enough to inline.
void ChangeListModel::add_block()
{
    blocks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(block_size));
}
