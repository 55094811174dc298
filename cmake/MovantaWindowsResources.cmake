# SPDX-License-Identifier: MIT
# movanta_windows_resources(target): gives a Windows program file the version record and the
# application icon of packaging/movanta.rc. Does nothing elsewhere.
#
# The icon (packaging needs movanta.ico) is made at build time with ImageMagick from the window
# icon's three pictures, MOVANTA_ICON_PNG_DIR/movanta-{16,32,48}.png; until they exist, from a
# plain placeholder drawing.
set(MOVANTA_PACKAGING_DIR "${CMAKE_CURRENT_LIST_DIR}/../packaging")
set(MOVANTA_ICON_PNG_DIR "${PROJECT_SOURCE_DIR}/ui/images"
    CACHE PATH "Folder of movanta-16.png, movanta-32.png and movanta-48.png")

function(movanta_windows_resources target)
    if(NOT WIN32)
        return()
    endif()
    set(rc "${MOVANTA_PACKAGING_DIR}/movanta.rc")
    set(icon_dir "${CMAKE_CURRENT_BINARY_DIR}/movanta_icon")
    set(icon "${icon_dir}/movanta.ico")

    # One icon per folder: source file properties are the folder's.
    get_directory_property(made MOVANTA_ICON_MADE)
    if(NOT made)
        find_program(MOVANTA_IMAGEMAGICK NAMES magick convert)
        if(NOT MOVANTA_IMAGEMAGICK)
            message(FATAL_ERROR "ImageMagick makes the program icon: apt-get install imagemagick")
        endif()
        set(pngs "")
        foreach(size 16 32 48)
            list(APPEND pngs "${MOVANTA_ICON_PNG_DIR}/movanta-${size}.png")
        endforeach()
        set(all_there TRUE)
        foreach(png IN LISTS pngs)
            if(NOT EXISTS "${png}")
                set(all_there FALSE)
            endif()
        endforeach()
        if(all_there)
            set(make_icon ${pngs} "${icon}")
        else()
            # A grey monitor on a system unit with a green light, 48 pixels, scaled to 32 and 16.
            set(make_icon -size 48x48 xc:none
                -fill "#a0a0a0" -draw "rectangle 8,4 39,29" -fill "#203a70" -draw "rectangle 11,7 36,26"
                -fill "#a0a0a0" -draw "rectangle 4,33 43,44" -fill "#30c030" -draw "rectangle 36,39 39,41"
                -define icon:auto-resize=48,32,16 "${icon}")
            set(pngs "")
        endif()
        add_custom_command(OUTPUT "${icon}"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${icon_dir}"
            COMMAND "${MOVANTA_IMAGEMAGICK}" ${make_icon}
            DEPENDS ${pngs}
            COMMENT "Making the program icon movanta.ico"
            VERBATIM)
        set_source_files_properties("${rc}" PROPERTIES
            INCLUDE_DIRECTORIES "${icon_dir}"
            OBJECT_DEPENDS "${icon}")
        set_directory_properties(PROPERTIES MOVANTA_ICON_MADE TRUE)
    endif()
    target_sources(${target} PRIVATE "${rc}" "${icon}")
endfunction()
