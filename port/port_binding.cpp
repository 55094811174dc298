// SPDX-License-Identifier: MIT
#include "port/port_binding.h"

#include "core/runtime_error.h"
#include "dynamic_library.h"

#include <utility>

using namespace core;

namespace port {

namespace {

// The same 32 bits on every platform, whatever the width of unsigned long.
unsigned long as_port_address(std::int32_t port)
{
    return static_cast<unsigned long>(static_cast<std::uint32_t>(port));
}

} // namespace

PortBinding::PortBinding(std::string file_name)
    : file_name_(std::move(file_name))
{
}

std::uint8_t PortBinding::read(std::int32_t port)
{
    if (read_ == nullptr)
        read_ = reinterpret_cast<DlPortReadPortUcharFn>(entry_point("DlPortReadPortUchar"));
    const std::uint8_t value = read_(as_port_address(port));
    check_last_error();
    return value;
}

void PortBinding::write(std::int32_t port, std::uint8_t value)
{
    if (write_ == nullptr)
        write_ = reinterpret_cast<DlPortWritePortUcharFn>(entry_point("DlPortWritePortUchar"));
    write_(as_port_address(port), value);
    check_last_error();
}

void* PortBinding::library()
{
    if (library_ == nullptr) {
        std::string reason;
        void* loaded = dynamic_library::load(file_name_, reason);
        if (loaded == nullptr)
            throw RuntimeError::library_not_found(file_name_, reason);
        library_ = loaded;
        last_error_ = reinterpret_cast<DlPortLastErrorFn>(
            dynamic_library::symbol(library_, "DlPortLastError"));
    }
    return library_;
}

void* PortBinding::entry_point(const char* name)
{
    void* address = dynamic_library::symbol(library(), name);
    if (address == nullptr)
        throw RuntimeError::entry_point_not_found(name, file_name_);
    return address;
}

void PortBinding::check_last_error() const
{
    if (last_error_ == nullptr)
        return;
    const char* reason = last_error_();
    if (reason != nullptr && reason[0] != '\0')
        throw RuntimeError::port_access_failed(reason);
}

} // namespace port
