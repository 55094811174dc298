// SPDX-License-Identifier: MIT
// Writing a snapshot of the change record through a writer, and saving it to a file.
#pragma once

#include "core/record_writer.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace core {

class RecordSnapshot;

// Asked between batches of entries with the number written so far; false stops the work.
using KeepGoing = std::function<bool(std::size_t written)>;

// Adds the snapshot's entries to writer and finishes it; false when keep_going stopped it
// first (then the writer is left unfinished). Throws what the writer's output throws.
bool write_record(
    const RecordSnapshot& snapshot, RecordWriter& writer, const KeepGoing& keep_going);

// The snapshot as a saved .csv holds it, for the clipboard; nothing when keep_going stopped it.
[[nodiscard]] std::optional<std::string> record_csv_text(
    const RecordSnapshot& snapshot, const KeepGoing& keep_going);

// Saves the snapshot to path through a temporary file beside it: a cancelled (false) or
// failed save leaves path as it was. Throws RuntimeError::file_failed() for path.
bool save_record(const RecordSnapshot& snapshot, RecordFormat format, const std::string& path,
    const KeepGoing& keep_going);

} // namespace core
