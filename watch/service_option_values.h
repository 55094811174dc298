// SPDX-License-Identifier: MIT
// The values of movanta-watch's service options: sizes, durations, and the options that only
// mean something together.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace watch {

struct WatchOptions;

namespace service_option_values {

// Bytes: a whole number above 0, bare or with K, M or G (powers of 1024); nullopt otherwise.
[[nodiscard]] std::optional<std::uint64_t> size(std::string_view text);
// Seconds: a whole number above 0, bare or with s, m, h or d; nullopt otherwise (up to 10 years).
[[nodiscard]] std::optional<std::int64_t> duration_s(std::string_view text);
// Why the service options cannot run together as given, or nothing.
[[nodiscard]] std::optional<std::string> refusal(const WatchOptions& options);

} // namespace service_option_values

} // namespace watch
