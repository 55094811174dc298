// SPDX-License-Identifier: MIT
// Starting a program of the build from a Windows test and collecting what it says.
#include "child_process.h"

#include <gtest/gtest.h>

std::filesystem::path program_folder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

Started start_program(
    const std::filesystem::path& program, const std::string& arguments, DWORD flags)
{
    SECURITY_ATTRIBUTES inherited { sizeof inherited, nullptr, TRUE };
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    EXPECT_TRUE(CreatePipe(&read_end, &write_end, &inherited, 0));
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    std::wstring line = L"\"" + (program_folder() / program).wstring() + L"\" "
        + std::filesystem::path(arguments).wstring();
    Started started;
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
        CREATE_NO_WINDOW | flags, nullptr, nullptr, &startup, &started.process));
    CloseHandle(write_end);
    started.output = read_end;
    return started;
}

Finished finish_program(const Started& started)
{
    Finished finished;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(started.output, buffer, sizeof buffer, &count, nullptr) && count > 0)
        finished.output.append(buffer, count);
    WaitForSingleObject(started.process.hProcess, INFINITE);
    GetExitCodeProcess(started.process.hProcess, &finished.status);
    CloseHandle(started.output);
    CloseHandle(started.process.hThread);
    CloseHandle(started.process.hProcess);
    return finished;
}

Finished run_program(const std::filesystem::path& program, const std::string& arguments)
{
    return finish_program(start_program(program, arguments));
}
