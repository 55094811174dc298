// SPDX-License-Identifier: MIT
#include "core/runtime_error.h"

#include <cerrno>
#include <utility>

namespace core {

namespace {

std::string with_reason(std::string text, std::string_view reason)
{
    if (!reason.empty()) {
        text += " (";
        text += reason;
        text += ')';
    }
    return text;
}

} // namespace

RuntimeError::RuntimeError(Kind kind, std::string message, std::string_view reason)
    : kind_(kind)
    , message_(std::move(message))
    , reason_(reason)
{
}

RuntimeError RuntimeError::overflow() { return { Kind::Overflow, "Überlauf" }; }

RuntimeError RuntimeError::invalid_property_value()
{
    return { Kind::InvalidPropertyValue, "Ungültiger Eigenschaftswert" };
}

RuntimeError RuntimeError::library_not_found(std::string_view library, std::string_view reason)
{
    return { Kind::LibraryNotFound,
        with_reason("Datei nicht gefunden: " + std::string(library), reason), reason };
}

RuntimeError RuntimeError::entry_point_not_found(
    std::string_view entry_point, std::string_view library)
{
    return { Kind::EntryPointNotFound,
        "DLL-Einsprungpunkt " + std::string(entry_point) + " in " + std::string(library)
            + " nicht gefunden" };
}

RuntimeError RuntimeError::port_access_failed(std::string_view reason)
{
    return { Kind::PortAccessFailed, with_reason("Portzugriff fehlgeschlagen", reason), reason };
}

RuntimeError RuntimeError::path_file_access(std::string_view path, std::string_view reason)
{
    return { Kind::PathFileAccess,
        with_reason("Fehler beim Zugriff auf Pfad/Datei: " + std::string(path), reason), reason };
}

RuntimeError RuntimeError::disk_full(std::string_view path)
{
    return { Kind::DiskFull, with_reason("Datenträger voll", path) };
}

RuntimeError RuntimeError::file_failed(std::string_view path, std::error_code code)
{
    if (code == std::errc::no_space_on_device)
        return disk_full(path);
#ifdef EDQUOT
    if (code == std::error_code(EDQUOT, std::generic_category()))
        return disk_full(path);
#endif
#ifdef _WIN32
    // ERROR_HANDLE_DISK_FULL and ERROR_DISK_FULL, from a rename.
    if (code.category() == std::system_category() && (code.value() == 39 || code.value() == 112))
        return disk_full(path);
#endif
    return path_file_access(path, code.message());
}

int RuntimeError::number() const noexcept
{
    switch (kind_) {
    case Kind::Overflow:
        return 6;
    case Kind::InvalidPropertyValue:
        return 380;
    case Kind::LibraryNotFound:
        return 53;
    case Kind::EntryPointNotFound:
        return 453;
    case Kind::PortAccessFailed:
        return 57; // device I/O error
    case Kind::PathFileAccess:
        return 75;
    case Kind::DiskFull:
        return 61;
    }
    return 0;
}

} // namespace core
