# SPDX-License-Identifier: MIT
include_guard(GLOBAL)

# The installed layout and the Debian package (cpack -G DEB).
#
# Included before GNUInstallDirs: on a multiarch system the driver libraries go to
# lib/<multiarch>/movanta whatever the prefix, so that the package (installed into /usr by
# CPack, whatever prefix the tree was configured with) has the Debian layout, and the
# executable's RUNPATH, fixed at configure time, still matches it. An explicit
# -DCMAKE_INSTALL_LIBDIR wins.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE
    AND EXISTS "/etc/debian_version" AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
    set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH
        "Object code libraries (lib/<multiarch> on Debian for every prefix)")
endif()
include(GNUInstallDirs)

set(MOVANTA_PACKAGING_DIR "${CMAKE_CURRENT_LIST_DIR}/../packaging/linux")
set(MOVANTA_APPSTREAM_ID "io.github.movanta.movanta")

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    if(MOVANTA_GUI)
        install(FILES "${MOVANTA_PACKAGING_DIR}/${MOVANTA_APPSTREAM_ID}.metainfo.xml"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
    endif()

    # Compressed without name or time stamp, so that the package is the same on every build.
    set(movanta_man_pages)
    foreach(page movanta-portsim movanta-watch)
        set(compressed "${PROJECT_BINARY_DIR}/packaging/${page}.1.gz")
        add_custom_command(OUTPUT "${compressed}"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/packaging"
            COMMAND gzip -9nc "${MOVANTA_PACKAGING_DIR}/${page}.1" > "${compressed}"
            DEPENDS "${MOVANTA_PACKAGING_DIR}/${page}.1"
            VERBATIM)
        list(APPEND movanta_man_pages "${compressed}")
    endforeach()
    add_custom_target(movanta_man_page ALL DEPENDS ${movanta_man_pages})
    install(FILES ${movanta_man_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    # Debian's machine-readable licence record, where every package keeps it.
    install(FILES "${MOVANTA_PACKAGING_DIR}/copyright"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/movanta")

    # movanta-watch as a service, an instance per port, and an example of its options file.
    # lib/systemd/system under the prefix: /usr/lib/systemd/system in the package.
    install(FILES "${MOVANTA_PACKAGING_DIR}/movanta-watch@.service" DESTINATION "lib/systemd/system")
    install(FILES "${MOVANTA_PACKAGING_DIR}/watch-888.conf"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/movanta/examples")
endif()

set(CPACK_PACKAGE_NAME "movanta")
set(CPACK_PACKAGE_VENDOR "The Movanta developers")
set(CPACK_PACKAGE_CONTACT "The Movanta developers <movanta@example.invalid>")
# The shown version, as the program's own version record has it.
set(CPACK_PACKAGE_VERSION "${MOVANTA_DISPLAY_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 72 characters: dpkg shows them as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Movanta reads one byte-wide hardware I/O port, typically a register of a"
    "PC parallel port, every few milliseconds, shows 255 minus the byte read,"
    "lights one of eight lamps for each set bit and logs every change in a"
    "list. The package also holds movanta-watch, the same watch as a command"
    "for scripts, logs and machines without a screen, and a port simulator,"
    "movanta-portsim, for trying the tool without hardware.")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_STRIP_FILES ON)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR "DEB")
endif()
set(CPACK_SOURCE_IGNORE_FILES "/[.]git/" "/build[^/]*/" "/out/")

set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Depends from what the binaries link (dpkg-shlibdeps, package dpkg-dev). The two driver
# libraries are loaded with dlopen, so nothing links them; they need only libc and libstdc++.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugin (xcb, wayland) with dlopen, so dpkg-shlibdeps cannot see it;
# without it the window cannot open. CPack adds the shlibdeps after this.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
