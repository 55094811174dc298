// SPDX-License-Identifier: MIT
// The simulator on Windows: its dlportio.dll in this process and movanta-portsim.exe in
// other processes share one port space file and see each other's reads and writes at once.
#include "child_process.h"
#include "drivers/port_space.h"
#include "port/port_binding.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace drivers;
using namespace port;

namespace {

// A fresh folder under %TEMP% per test, and the port space file in it as %MOVANTA_PORTSIM%.
// The driver keeps the file mapped until the process ends, so it is removed by the next run.
struct SimulatorFile {
    std::filesystem::path folder = std::filesystem::temp_directory_path()
        / (std::string("movanta-portsim-")
            + testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::path file = folder / "portsim";
    SimulatorFile()
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        SetEnvironmentVariableW(L"MOVANTA_PORTSIM", file.c_str());
    }
};

Started start_portsim(const std::string& arguments)
{
    return start_program("movanta-portsim.exe", arguments);
}

Finished run_portsim(const std::string& arguments)
{
    return run_program("movanta-portsim.exe", arguments);
}

std::string simulator_driver() { return (program_folder() / "Simulator" / "dlportio.dll").string(); }

TEST(PortsimOnWindows, TheDriverAndTheCommandSeeEachOther)
{
    const SimulatorFile simulator;
    PortBinding driver(simulator_driver());
    EXPECT_EQ(run_portsim("set 888 0x5A").status, 0u);
    EXPECT_EQ(driver.read(888), 0x5A); // at once: no wait in between
    driver.write(888, 0x0F);
    const struct {
        const char* arguments;
        DWORD status;
        const char* output; // the start of it
    } rows[] = {
        { "get 888", 0, "10\r\n" }, // latch 0x0F AND input 0x5A
        { "get 889", 0, "255\r\n" },
        { "get 65536", 2, "movanta-portsim: port 65536 is outside 0-65535" },
        { "set 888", 2, "movanta-portsim: set takes 2 arguments" },
        { "reset", 0, "" },
        { "get 888", 0, "255\r\n" },
    };
    for (const auto& row : rows) {
        const Finished finished = run_portsim(row.arguments);
        EXPECT_EQ(finished.status, row.status) << row.arguments;
        EXPECT_EQ(finished.output.substr(0, std::string(row.output).size()), row.output)
            << row.arguments << ": " << finished.output;
    }
    EXPECT_EQ(driver.read(888), 255);
}

TEST(PortsimOnWindows, TheLogHoldsEachReadAndWriteInMicroseconds)
{
    const SimulatorFile simulator;
    PortBinding driver(simulator_driver());
    (void)driver.read(0x378);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    driver.write(0x378, 0xA5);
    std::istringstream log(run_portsim("log").output);
    unsigned long long first = 0, second = 0;
    char first_kind = 0, second_kind = 0;
    unsigned first_port = 0, second_port = 0, first_value = 0, second_value = 0;
    log >> first >> first_kind >> first_port >> first_value >> second >> second_kind
        >> second_port >> second_value;
    EXPECT_EQ(first_kind, 'R');
    EXPECT_EQ(first_port, 0x378u);
    EXPECT_EQ(first_value, 255u);
    EXPECT_EQ(second_kind, 'W');
    EXPECT_EQ(second_value, 0xA5u);
    EXPECT_GE(second - first, 20'000u); // 20 ms apart at least, in microseconds
    EXPECT_LT(second - first, 10'000'000u);
    EXPECT_EQ(run_portsim("log --clear").status, 0u);
    EXPECT_EQ(run_portsim("log").output, "");
}

TEST(PortsimOnWindows, TheDemoLightsTheLampsOfARunningDriver)
{
    const SimulatorFile simulator;
    PortBinding driver(simulator_driver());
    const Started demo = start_portsim("demo 888");
    // The first step pulls bit 0 low; wait for it, at most 10 s (a first start under Wine).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    unsigned seen = 255;
    while (seen == 255 && std::chrono::steady_clock::now() < deadline) {
        seen = driver.read(888);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    TerminateProcess(demo.process.hProcess, 0);
    WaitForSingleObject(demo.process.hProcess, INFINITE);
    CloseHandle(demo.output);
    CloseHandle(demo.process.hThread);
    CloseHandle(demo.process.hProcess);
    EXPECT_EQ(seen, 0xFEu);
}

TEST(PortsimOnWindows, TheFileLivesUnderLocalAppData)
{
    const SimulatorFile simulator;
    SetEnvironmentVariableW(L"MOVANTA_PORTSIM", nullptr);
    SetEnvironmentVariableW(L"LOCALAPPDATA", simulator.folder.c_str());
    EXPECT_EQ(PortSpace::default_path(), simulator.folder / "Movanta" / "portsim");
    EXPECT_TRUE(std::filesystem::is_directory(simulator.folder / "Movanta"));
    SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
    EXPECT_THROW((void)PortSpace::default_path(), std::runtime_error);
}

TEST(PortsimOnWindows, AFileThatIsNoPortSpaceIsRefused)
{
    const SimulatorFile simulator;
    const struct {
        const char* what;
        void (*plant)(const std::filesystem::path&);
        const char* message;
    } rows[] = {
        { "a file of another size",
            [](const std::filesystem::path& file) {
                std::FILE* out = _wfopen(file.c_str(), L"wb");
                std::fputs("not ours", out);
                std::fclose(out);
            },
            "not a port simulator file" },
        { "a folder",
            [](const std::filesystem::path& file) { std::filesystem::create_directory(file); },
            "portsim: " },
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(simulator.file);
        row.plant(simulator.file);
        std::string error = "no error";
        try {
            PortSpace space(simulator.file);
        } catch (const std::runtime_error& failure) {
            error = failure.what();
        }
        EXPECT_NE(error.find(row.message), std::string::npos) << row.what << ": " << error;
    }
}

} // namespace
