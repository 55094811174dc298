#include "dynamic_library.h"

#include <dlfcn.h>

namespace dynamic_library {

const char* driver_file_name() noexcept { return "libdlportio.so"; }

void* load(const std::string& file_name, std::string& reason)
{
    void* library = dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        reason = why != nullptr ? why : "";
    }
    return library;
}

void* symbol(void* library, const char* name) noexcept { return dlsym(library, name); }

} // namespace dynamic_library
