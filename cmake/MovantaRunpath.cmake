# SPDX-License-Identifier: MIT
include_guard(GLOBAL)

# movanta_driver_runpath(target): the executable finds the hardware driver libdlportio.so in
# lib/movanta next to its own bin folder, in the build tree and when installed, and never in
# the current directory. The path is $ORIGIN-relative and a RUNPATH (not the older RPATH), so
# a copied binary finds no build-tree driver and LD_LIBRARY_PATH, searched first, can select
# the simulator instead.
function(movanta_driver_runpath target)
    if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
        return()
    endif()
    file(RELATIVE_PATH install_relative "/${CMAKE_INSTALL_BINDIR}"
        "/${CMAKE_INSTALL_LIBDIR}/${MOVANTA_HARDWARE_DRIVER_DIR}")
    set_target_properties(${target} PROPERTIES
        SKIP_BUILD_RPATH OFF
        BUILD_WITH_INSTALL_RPATH OFF
        BUILD_RPATH "$ORIGIN/../lib/${MOVANTA_HARDWARE_DRIVER_DIR}"
        BUILD_RPATH_USE_ORIGIN ON
        INSTALL_RPATH "$ORIGIN/${install_relative}")
    target_link_options(${target} PRIVATE "LINKER:--enable-new-dtags")
endfunction()
