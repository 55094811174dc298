// SPDX-License-Identifier: MIT
// The port space's file on Windows: under %LOCALAPPDATA%\Movanta, one file mapping per process.
#include "drivers/port_space.h"
#include "drivers/shown_text.h"
#include "port_space_layout.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace drivers {

namespace {

[[noreturn]] void fail(const std::string& path, const char* what, DWORD error)
{
    std::string text = path + ": ";
    if (what != nullptr)
        text += std::string(what) + ": ";
    throw std::runtime_error(text + std::system_category().message(static_cast<int>(error)));
}

// Closes the file on every way out of the constructor; the mapping outlives it.
struct Handle {
    HANDLE handle;
    ~Handle()
    {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

// The lock is on a byte no file reaches, so that it keeps nobody from the file's contents;
// it is held only while a file is checked and initialised.
OVERLAPPED lock_place()
{
    OVERLAPPED place {};
    place.Offset = 0xFFFFFFFF;
    place.OffsetHigh = 0x7FFFFFFF;
    return place;
}

void lock_within_a_second(HANDLE file, const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        OVERLAPPED place = lock_place();
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place))
            return;
        if (const DWORD error = GetLastError(); error != ERROR_LOCK_VIOLATION)
            fail(path, "lock", error);
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error(path + ": locked by another process");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Unmaps the file's view on every way out of the constructor, until it is kept.
struct Unmap {
    void operator()(void* view) const noexcept { UnmapViewOfFile(view); }
};

// The first eight bytes of a file, 0 when it has fewer.
std::uint64_t first_word(HANDLE file)
{
    std::uint64_t word = 0;
    OVERLAPPED start {};
    DWORD got = 0;
    if (!ReadFile(file, &word, sizeof word, &got, &start) || got != sizeof word)
        return 0;
    return word;
}

bool resize(HANDLE file, LONGLONG size)
{
    LARGE_INTEGER end {};
    end.QuadPart = size;
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// The process's own environment, not the C library's copy of it; empty when not set.
std::wstring environment(const wchar_t* name)
{
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length
            = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);
    }
}

} // namespace

std::filesystem::path PortSpace::default_path()
{
    if (std::wstring path = environment(L"MOVANTA_PORTSIM"); !path.empty())
        return path;
    const std::wstring local = environment(L"LOCALAPPDATA");
    if (local.empty())
        throw std::runtime_error("LOCALAPPDATA is not set: no folder for the port space file");
    const std::filesystem::path folder = std::filesystem::path(local) / L"Movanta";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw std::runtime_error(
            shown_text::plain(folder.string()) + ": make folder: " + error.message());
    return folder / L"portsim";
}

PortSpace::PortSpace(const std::filesystem::path& path)
    : path_(shown_text::plain(path.string()))
{
    // FILE_FLAG_OPEN_REPARSE_POINT: a planted link must not redirect the file. No
    // FILE_SHARE_DELETE: the file stays where the other processes find it.
    const Handle file { CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr) };
    if (file.handle == INVALID_HANDLE_VALUE)
        fail(path_, nullptr, GetLastError());
    BY_HANDLE_FILE_INFORMATION info {};
    if (GetFileType(file.handle) != FILE_TYPE_DISK
        || !GetFileInformationByHandle(file.handle, &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            != 0)
        throw std::runtime_error(path_ + ": not a plain file");
    lock_within_a_second(file.handle, path_);
    LARGE_INTEGER found {};
    if (!GetFileSizeEx(file.handle, &found))
        fail(path_, nullptr, GetLastError());
    const auto size = static_cast<LONGLONG>(sizeof(Layout));
    if (found.QuadPart != 0 && found.QuadPart != size)
        throw port_space_file::not_ours(path_, first_word(file.handle));
    // Setting the end allocates every cluster now, so that a full disk is this error.
    if (found.QuadPart == 0 && !resize(file.handle, size)) {
        const DWORD error = GetLastError();
        // Left empty rather than part-sized, so that the next try starts afresh.
        resize(file.handle, 0);
        fail(path_, "reserve space", error);
    }
    // The view keeps the mapping, and the mapping the file, for as long as it is mapped;
    // meanwhile nobody can cut the file short.
    const Handle mapping { CreateFileMappingW(
        file.handle, nullptr, PAGE_READWRITE, 0, 0, nullptr) };
    if (mapping.handle == nullptr)
        fail(path_, "map", GetLastError());
    std::unique_ptr<void, Unmap> view(
        MapViewOfFile(mapping.handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Layout)));
    if (!view)
        fail(path_, "map", GetLastError());
    layout_ = static_cast<Layout*>(view.get());
    adopt();
    OVERLAPPED place = lock_place();
    UnlockFileEx(file.handle, 0, 1, 0, &place);
    layout_ = static_cast<Layout*>(view.release());
}

PortSpace::~PortSpace() { UnmapViewOfFile(layout_); }

// A mapped file cannot be cut short on Windows (ERROR_USER_MAPPED_FILE): nothing to catch.
void PortSpace::guard(void (*access)(void*), void* context) const { access(context); }

} // namespace drivers
