# SPDX-License-Identifier: MIT
# movanta_package_note(target [VERSION text]): gives a Linux executable the ELF note
# .note.package of the systemd package metadata (owner "FDO", type 0xcafe1a7e, a JSON text),
# which `readelf -n` shows as "Packaging Metadata" and crash reports pick up. The JSON names
# the package, its shown version, the Windows program file name and the language:
#   {"type":"deb","name":"movanta","version":"0.05","originalFilename":"Movanta.exe","language":"de-DE"}
# Does nothing for other file formats.
function(movanta_package_note target)
    cmake_parse_arguments(PARSE_ARGV 1 note "" "VERSION" "")
    if(NOT CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
        return()
    endif()
    if(NOT note_VERSION)
        if(DEFINED MOVANTA_DISPLAY_VERSION)
            set(note_VERSION "${MOVANTA_DISPLAY_VERSION}")
        else()
            set(note_VERSION "${PROJECT_VERSION}")
        endif()
    endif()
    set(json "{\"type\":\"deb\",\"name\":\"movanta\",\"version\":\"${note_VERSION}\",")
    string(APPEND json "\"originalFilename\":\"Movanta.exe\",\"language\":\"de-DE\"}")

    # The text goes in as bytes, so that no quoting stands between it and the note.
    string(HEX "${json}" hex)
    string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
    string(LENGTH "${json}" length)
    math(EXPR descsz "${length} + 1") # with its terminating NUL

    set(source "${CMAKE_CURRENT_BINARY_DIR}/${target}_package_note.c")
    file(CONFIGURE OUTPUT "${source}" @ONLY CONTENT [[
/* The package metadata note of @target@ (made by movanta_package_note). */
__asm__(
    ".pushsection .note.package,\"a\",%note\n"
    ".balign 4\n"
    ".long 4\n"          /* owner size, "FDO" with its NUL */
    ".long @descsz@\n"   /* JSON size with its NUL */
    ".long 0xcafe1a7e\n" /* NT_FDO_PACKAGING_METADATA */
    ".asciz \"FDO\"\n"
    ".byte @bytes@0\n"
    ".balign 4\n"
    ".popsection\n");
]])
    target_sources(${target} PRIVATE "${source}")
endfunction()
