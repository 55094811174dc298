// SPDX-License-Identifier: MIT
// Finds the parallel ports the kernel knows, from procfs or sysfs.
#include "drivers/parport_map.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>
#include <system_error>

namespace drivers {

namespace {

bool is_parport_name(const std::string& name)
{
    constexpr std::string_view prefix = "parport";
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0
        && std::all_of(name.begin() + prefix.size(), name.end(),
            [](unsigned char c) { return std::isdigit(c) != 0; });
}

// base-addr holds the base and the extended base, "888\t1912"; the first is the one we need.
std::optional<std::uint32_t> read_base(const std::filesystem::path& file)
{
    std::ifstream in(file);
    unsigned long base = 0;
    if (!(in >> base) || base > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint32_t>(base);
}

} // namespace

ParportMap ParportMap::scan(
    const std::vector<std::filesystem::path>& roots, const std::filesystem::path& dev_dir)
{
    ParportMap map;
    for (const auto& root : roots) {
        // The error_code increment: a folder that fails half-way ends its listing, no throw.
        std::error_code error;
        for (std::filesystem::directory_iterator entry(root, error), end; !error && entry != end;
             entry.increment(error)) {
            const std::string name = entry->path().filename().string();
            if (!is_parport_name(name)
                || std::any_of(map.ports_.begin(), map.ports_.end(),
                    [&](const Port& known) { return known.name == name; }))
                continue;
            if (const auto base = read_base(entry->path() / "base-addr"))
                map.ports_.push_back({ name, *base, dev_dir / name });
        }
    }
    return map;
}

std::optional<ParportMap::Location> ParportMap::find(std::uint32_t port) const noexcept
{
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        const std::uint32_t base = ports_[i].base;
        if (port >= base && port - base <= 2)
            return Location { i, static_cast<Register>(port - base) };
    }
    return std::nullopt;
}

} // namespace drivers
