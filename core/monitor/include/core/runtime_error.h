// SPDX-License-Identifier: MIT
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <system_error>

namespace core {

// The one error type of the tool. Every failure that reaches the user is one of
// these kinds; what() is the German text the report shows.
class RuntimeError : public std::exception {
public:
    enum class Kind {
        Overflow, // a number outside the 32-bit signed range
        InvalidPropertyValue, // a value a control refuses
        LibraryNotFound, // the driver library could not be loaded
        EntryPointNotFound, // an entry point is missing from the driver library
        PortAccessFailed, // the driver says the port could not be reached
        PathFileAccess, // a file could not be written (or read)
        DiskFull, // no room left on the file's disk
    };

    [[nodiscard]] static RuntimeError overflow();
    [[nodiscard]] static RuntimeError invalid_property_value();
    // reason: what the system said (dlerror, GetLastError text); may be empty.
    [[nodiscard]] static RuntimeError library_not_found(std::string_view library,
        std::string_view reason);
    [[nodiscard]] static RuntimeError entry_point_not_found(std::string_view entry_point,
        std::string_view library);
    [[nodiscard]] static RuntimeError port_access_failed(std::string_view reason);
    // path: the file the user named; reason: what the system said.
    [[nodiscard]] static RuntimeError path_file_access(std::string_view path,
        std::string_view reason);
    [[nodiscard]] static RuntimeError disk_full(std::string_view path);
    // The kind a failed file operation is: disk_full() for ENOSPC or EDQUOT, otherwise
    // path_file_access() with the system's text for the code.
    [[nodiscard]] static RuntimeError file_failed(std::string_view path, std::error_code code);

    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    // The number the classic run-time error report gives this kind (6 for an overflow).
    [[nodiscard]] int number() const noexcept;
    [[nodiscard]] const char* what() const noexcept override { return message_.c_str(); }
    // What the driver or the system said, as it said it (for an English report); may be empty.
    [[nodiscard]] const std::string& reason() const noexcept { return reason_; }

private:
    RuntimeError(Kind kind, std::string message, std::string_view reason = {});

    Kind kind_;
    std::string message_;
    std::string reason_;
};

} // namespace core
