// SPDX-License-Identifier: MIT
// Sizes with K, M, G; durations with s, m, h, d; rotation's need of a file.
#include "service_option_values.h"

#include "core/strict_number.h"
#include "watch/watch_options.h"

#include <array>
#include <span>
#include <utility>

using namespace core;

namespace watch {

namespace {

// A whole decimal number above 0 times the factor of its one-letter suffix, at most max.
std::optional<std::uint64_t> scaled(std::string_view text,
    std::span<const std::pair<char, std::uint64_t>> suffixes, std::uint64_t max)
{
    std::uint64_t factor = 1;
    if (!text.empty()) {
        for (const auto& [letter, by] : suffixes) {
            if (text.back() == letter) {
                factor = by;
                text.remove_suffix(1);
                break;
            }
        }
    }
    // Decimal only: "0x10K" would read as a size nobody means.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const auto n = strict_number::whole(text, max / factor);
    if (!n || *n == 0)
        return std::nullopt;
    return *n * factor;
}

} // namespace

namespace service_option_values {

std::optional<std::uint64_t> size(std::string_view text)
{
    static constexpr std::array<std::pair<char, std::uint64_t>, 3> suffixes { {
        { 'K', 1ULL << 10 },
        { 'M', 1ULL << 20 },
        { 'G', 1ULL << 30 },
    } };
    return scaled(text, suffixes, std::uint64_t { 1 } << 62);
}

std::optional<std::int64_t> duration_s(std::string_view text)
{
    static constexpr std::array<std::pair<char, std::uint64_t>, 4> suffixes { {
        { 's', 1 },
        { 'm', 60 },
        { 'h', 3600 },
        { 'd', 86400 },
    } };
    const auto seconds = scaled(text, suffixes, 3660ULL * 86400);
    return seconds ? std::optional<std::int64_t>(static_cast<std::int64_t>(*seconds))
                   : std::nullopt;
}

std::optional<std::string> refusal(const WatchOptions& options)
{
    if (options.rotating() && (options.output.empty() || options.output == "-"))
        return "--rotate-size and --rotate-every need -o FILE";
    if (options.keep != 0 && !options.rotating())
        return "--keep needs --rotate-size or --rotate-every";
#ifdef _WIN32
    // The counters file, turning files, --exec and the service manager are POSIX work.
    if (!options.counters_file.empty() || options.rotating() || !options.exec_command.empty())
        return "--counters, --rotate-size, --rotate-every and --exec are not part of this build";
#endif
    return std::nullopt;
}

} // namespace service_option_values

} // namespace watch
