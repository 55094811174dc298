// SPDX-License-Identifier: MIT
#include "dynamic_library.h"

#include <windows.h>

namespace port {

namespace dynamic_library {

const char* driver_file_name() noexcept { return "dlportio.dll"; }

void* load(const std::string& file_name, std::string& reason)
{
    HMODULE library = LoadLibraryA(file_name.c_str());
    if (library == nullptr) {
        const DWORD code = GetLastError();
        char text[512] = {};
        const DWORD length
            = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                code, 0, text, sizeof text, nullptr);
        reason.assign(text, length);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        if (reason.empty())
            reason = "error " + std::to_string(code);
    }
    return reinterpret_cast<void*>(library);
}

void* symbol(void* library, const char* name) noexcept
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace dynamic_library

} // namespace port
