// SPDX-License-Identifier: MIT
// The change record written out a batch at a time, so that a save can be followed and
// cancelled.
#include "core/record_save.h"

#include "core/change_record.h"

#include "core/atomic_file.h"
#include "core/record_fd_output.h"
#include "core/record_string_output.h"
#include "core/runtime_error.h"

#include <array>
#include <system_error>

namespace core {

namespace {

// Entries decoded at once: small enough to stay in the cache, large enough that asking
// keep_going costs nothing.
constexpr std::size_t batch_size = 4096;

} // namespace

bool write_record(const RecordSnapshot& snapshot, RecordWriter& writer, const KeepGoing& keep_going)
{
    std::array<RecordEntry, batch_size> batch;
    for (std::size_t done = 0; done < snapshot.size();) {
        if (keep_going && !keep_going(done))
            return false;
        const std::size_t count = std::min(batch_size, snapshot.size() - done);
        snapshot.read(done, std::span(batch.data(), count));
        for (std::size_t i = 0; i < count; ++i)
            writer.add(batch[i]);
        done += count;
    }
    writer.finish();
    return true;
}

std::optional<std::string> record_csv_text(
    const RecordSnapshot& snapshot, const KeepGoing& keep_going)
{
    StringRecordOutput text;
    const auto writer = make_record_writer(RecordFormat::Csv, text);
    if (!write_record(snapshot, *writer, keep_going))
        return std::nullopt;
    return text.take();
}

bool save_record(const RecordSnapshot& snapshot, RecordFormat format, const std::string& path,
    const KeepGoing& keep_going)
{
    try {
        AtomicFile file(path);
        FdRecordOutput output(file.fd(), 1 << 20);
        const auto writer = make_record_writer(format, output);
        if (!write_record(snapshot, *writer, keep_going))
            return false;
        file.commit();
        return true;
    } catch (const std::system_error& error) {
        throw RuntimeError::file_failed(path, error.code());
    }
}

} // namespace core
