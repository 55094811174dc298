# SPDX-License-Identifier: MIT
# Makes movanta-VERSION-setup.exe and movanta-VERSION-win64.zip in BUILD_DIR from one staged
# copy of the installed tree (cmake -P; the variables come from packaging/windows).
#   BUILD_DIR, COMPONENT, VERSION (0.05), NUMERIC_VERSION (0.5.0.0), MAKENSIS, STRIP, SCRIPT
set(package_dir "${BUILD_DIR}/package")
set(stage "${package_dir}/Movanta")
set(setup "${BUILD_DIR}/movanta-${VERSION}-setup.exe")
set(zip "${BUILD_DIR}/movanta-${VERSION}-win64.zip")

file(REMOVE_RECURSE "${package_dir}")
file(REMOVE "${setup}" "${zip}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component "${COMPONENT}"
        --prefix "${stage}"
    OUTPUT_QUIET
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "staging the installed tree failed")
endif()

# Without symbols and debugging information: a sixth of the size.
file(GLOB_RECURSE binaries "${stage}/*.exe" "${stage}/*.dll")
if(STRIP AND binaries)
    execute_process(COMMAND "${STRIP}" --strip-all ${binaries} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "stripping the programs failed")
    endif()
endif()

# The installer's file lists: what it puts in place, and what its uninstaller takes away,
# folders last and deepest first. Nothing else in the folder is touched (a dlportio.dll the
# user put beside the program stays, and so does the folder then).
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(SORT files)
set(install_list "")
set(uninstall_list "")
set(folders "")
foreach(file IN LISTS files)
    get_filename_component(folder "${file}" DIRECTORY)
    string(REPLACE "/" "\\" file_windows "${file}")
    string(REPLACE "/" "\\" folder_windows "${folder}")
    if(folder)
        string(APPEND install_list "SetOutPath \"$INSTDIR\\${folder_windows}\"\n")
    else()
        string(APPEND install_list "SetOutPath \"$INSTDIR\"\n")
    endif()
    string(APPEND install_list "File \"${stage}/${file}\"\n")
    string(APPEND uninstall_list "Delete \"$INSTDIR\\${file_windows}\"\n")
    if(folder)
        list(APPEND folders "${folder_windows}")
    endif()
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
    string(APPEND uninstall_list "RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
file(WRITE "${package_dir}/install_files.nsh" "${install_list}")
file(WRITE "${package_dir}/uninstall_files.nsh" "${uninstall_list}")

set(window_option "")
if(EXISTS "${stage}/Movanta.exe")
    set(window_option "-DWITH_WINDOW")
endif()
if(NOT MAKENSIS)
    message(FATAL_ERROR "makensis makes the installer: apt-get install nsis")
endif()
execute_process(
    COMMAND "${MAKENSIS}" -V2 -NOCD
        "-DVERSION=${VERSION}" "-DNUMERIC_VERSION=${NUMERIC_VERSION}" "-DOUTFILE=${setup}"
        "-DINSTALL_FILES=${package_dir}/install_files.nsh"
        "-DUNINSTALL_FILES=${package_dir}/uninstall_files.nsh"
        ${window_option} "${SCRIPT}"
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "makensis failed")
endif()

# The zip holds the same tree in a folder Movanta.
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E tar cf "${zip}" --format=zip -- Movanta
    WORKING_DIRECTORY "${package_dir}"
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "making the zip failed")
endif()
