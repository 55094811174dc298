# SPDX-License-Identifier: MIT
# Where things land in the build tree mirrors the installed tree, so that the
# executable's $ORIGIN-relative RUNPATH finds the same driver in both.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/lib")
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/lib")

# Private folders of the two driver libraries, relative to the library folder.
set(MOVANTA_HARDWARE_DRIVER_DIR "movanta")
set(MOVANTA_SIMULATOR_DRIVER_DIR "movanta/portsim")

function(movanta_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
            -Wno-sign-conversion)
    endif()
endfunction()
