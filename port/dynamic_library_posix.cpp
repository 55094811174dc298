// SPDX-License-Identifier: MIT
#include "dynamic_library.h"

#include <dlfcn.h>

namespace port {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MOVANTA_INTERCEPTED_DLOPEN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define MOVANTA_INTERCEPTED_DLOPEN 1
#endif

namespace {

using DlopenFn = void* (*)(const char*, int);

// The loader searches the RUNPATH of the object that calls dlopen. AddressSanitizer replaces
// dlopen with its own, which would make the sanitizer runtime that caller and lose the
// executable's RUNPATH; so a sanitized build calls the C library's dlopen itself.
DlopenFn system_dlopen()
{
#ifdef MOVANTA_INTERCEPTED_DLOPEN
    static const DlopenFn libc_dlopen = [] {
        void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
        void* found = libc != nullptr ? dlsym(libc, "dlopen") : nullptr;
        return found != nullptr ? reinterpret_cast<DlopenFn>(found) : &dlopen;
    }();
    return libc_dlopen;
#else
    return &dlopen;
#endif
}

} // namespace

namespace dynamic_library {

const char* driver_file_name() noexcept { return "libdlportio.so"; }

void* load(const std::string& file_name, std::string& reason)
{
    void* library = system_dlopen()(file_name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        reason = why != nullptr ? why : "";
    }
    return library;
}

void* symbol(void* library, const char* name) noexcept { return dlsym(library, name); }

} // namespace dynamic_library

} // namespace port
