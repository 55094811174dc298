// SPDX-License-Identifier: MIT
// A program of the build started from a Windows test, its output and errors read from one pipe.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

// The folder of the running test program (bin).
[[nodiscard]] std::filesystem::path program_folder();

struct Started {
    PROCESS_INFORMATION process {};
    HANDLE output = nullptr;
};

struct Finished {
    DWORD status = 0;
    std::string output;
};

// program (in bin, or a path under it) with arguments, without a console window; flags are
// added to CreateProcess's.
[[nodiscard]] Started start_program(
    const std::filesystem::path& program, const std::string& arguments, DWORD flags = 0);
// Reads the output to its end and waits for the program.
[[nodiscard]] Finished finish_program(const Started& started);
[[nodiscard]] Finished run_program(
    const std::filesystem::path& program, const std::string& arguments);
