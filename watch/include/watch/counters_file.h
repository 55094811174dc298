// SPDX-License-Identifier: MIT
// The pulse counters' file: eight totals in a few lines a person can read, replaced whole.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace watch {

namespace counters_file {

using Totals = std::array<std::uint64_t, 8>; // bit 0 first

// "# movanta-watch pulse counters..." then "bit0=N" to "bit7=N", one a line.
[[nodiscard]] std::string text(const Totals& totals);
// The totals in text, or nullopt for a text that is not one of ours.
[[nodiscard]] std::optional<Totals> parse(std::string_view text);

// The totals kept in path: all zero when there is no file. Throws std::runtime_error whose
// what() names the file and the reason (a folder, a FIFO, unreadable, not ours).
[[nodiscard]] Totals load(const std::string& path);
// Replaces path by the totals: temporary file, fsync, rename, fsync of the folder. Throws
// std::runtime_error naming the file and the reason; the old file then stays as it was.
void save(const std::string& path, const Totals& totals);

} // namespace counters_file

} // namespace watch
