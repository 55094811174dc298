// SPDX-License-Identifier: MIT
// The ports file: which port addresses are read from which GPIO lines, and where it is kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace drivers {

enum class GpioBias { AsIs, PullUp, PullDown, Disabled };

// One line of the file: PORT = CHIP LINE0 [LINE1 ... LINE7] [active-low] [bias=...].
struct GpioMapping {
    std::uint16_t port = 0;
    std::string chip; // as written: gpiochipN, a path under /dev, or label:TEXT
    std::vector<std::uint32_t> lines; // bit k of the byte is lines[k]; 1 to 8 of them
    bool active_low = false;
    GpioBias bias = GpioBias::AsIs;
};

struct PortsFile {
    std::vector<GpioMapping> ports;
    std::string error; // "FILE:LINE: what was expected there"; empty when the file is good
};

// Parses the whole text; the first bad line makes it an error, naming the file and line.
[[nodiscard]] PortsFile parse_ports_file(std::string_view text, const std::string& name);

using Environment = std::function<const char*(const char*)>;

// $MOVANTA_PORTS if set (then it must exist; set but empty is an error naming it), else
// $XDG_CONFIG_HOME/movanta/ports.conf ($HOME/.config/... without it) if it exists, else
// system_file if it exists, else no ports.
// The file chosen must be a regular file of at most 1 MiB.
[[nodiscard]] PortsFile load_ports_file(
    const Environment& environment, const std::filesystem::path& system_file);

} // namespace drivers
