// SPDX-License-Identifier: MIT
// The parallel ports the kernel knows, by I/O base address.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace drivers {

// The parallel ports the kernel knows, by I/O base address, and the ppdev device of each.
class ParportMap {
public:
    // The three registers of a parallel port that ppdev reaches.
    enum class Register { Data = 0, Status = 1, Control = 2 };

    struct Port {
        std::string name; // "parport0"
        std::uint32_t base = 0;
        std::filesystem::path device; // dev_dir / name
    };

    struct Location {
        std::size_t index = 0; // into ports()
        Register reg = Register::Data;
    };

    // Reads <root>/parportN/base-addr for each root (procfs and sysfs hold the same ports;
    // the first root that names a port wins). Folders or files that can't be read are skipped.
    [[nodiscard]] static ParportMap scan(
        const std::vector<std::filesystem::path>& roots, const std::filesystem::path& dev_dir);

    [[nodiscard]] std::optional<Location> find(std::uint32_t port) const noexcept;
    [[nodiscard]] const std::vector<Port>& ports() const noexcept { return ports_; }

private:
    std::vector<Port> ports_;
};

} // namespace drivers
