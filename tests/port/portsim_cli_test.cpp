// SPDX-License-Identifier: MIT
// The simulator end to end: the CLI and the simulator library in separate processes.
#include "core/runtime_error.h"
#include "port/port_binding.h"
#include "run_process.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

using namespace core;
using namespace port;

namespace {

struct Simulator {
    TemporaryFolder folder;
    std::string file = (folder.path() / "ports").string();

    // A copy of its own: the library opens its port space once per load, and a test run
    // outside ctest keeps every library it loaded.
    std::string library = (folder.path() / "libdlportio.so").string();

    Simulator()
    {
        setenv("MOVANTA_PORTSIM", file.c_str(), 1);
        std::filesystem::copy_file(SIMULATOR_DRIVER, library);
    }
    ~Simulator() { unsetenv("MOVANTA_PORTSIM"); }

    [[nodiscard]] ProcessResult cli(const std::vector<std::string>& arguments) const
    {
        return run_process(PORTSIM_CLI, arguments, ".", { { "MOVANTA_PORTSIM", file } });
    }
};

} // namespace

TEST(PortsimCli, AnInputSetByTheCliIsWhatTheLibraryReads)
{
    const Simulator sim;
    ASSERT_EQ(sim.cli({ "set", "0x378", "0xA5" }).exit_code, 0);
    PortBinding driver(sim.library);
    EXPECT_EQ(driver.read(888), 0xA5);
    driver.write(888, 0x0F); // lines written low stay low
    EXPECT_EQ(driver.read(888), 0x05);
    EXPECT_EQ(sim.cli({ "get", "888" }).output, "5\n");
    ASSERT_EQ(sim.cli({ "set", "888", "255" }).exit_code, 0);
    driver.write(888, 255);
    EXPECT_EQ(driver.read(888), 255);
}

TEST(PortsimCli, TheLogShowsTheLibrarysAccessesWithIncreasingTimes)
{
    const Simulator sim;
    ASSERT_EQ(sim.cli({ "reset" }).exit_code, 0);
    PortBinding driver(sim.library);
    for (int i = 0; i < 3; ++i) {
        driver.write(888, 255);
        (void)driver.read(888);
    }
    const ProcessResult log = sim.cli({ "log" });
    ASSERT_EQ(log.exit_code, 0);
    std::istringstream lines(log.output);
    unsigned long long previous = 0;
    int count = 0;
    unsigned long long microseconds = 0;
    char kind = 0;
    unsigned port = 0;
    unsigned value = 0;
    while (lines >> microseconds >> kind >> port >> value) {
        EXPECT_EQ(kind, count % 2 == 0 ? 'W' : 'R') << log.output;
        EXPECT_EQ(port, 888u);
        EXPECT_EQ(value, 255u);
        EXPECT_GE(microseconds, previous);
        previous = microseconds;
        ++count;
    }
    EXPECT_EQ(count, 6) << log.output;

    ASSERT_EQ(sim.cli({ "log", "--clear" }).exit_code, 0);
    EXPECT_EQ(sim.cli({ "log" }).output, "");
}

TEST(PortsimCli, OutOfRangePortsReadAllOnesWithAReason)
{
    const Simulator sim;
    PortBinding driver(sim.library);
    for (const std::int32_t port : { 65536, -1 }) {
        try {
            (void)driver.read(port);
            ADD_FAILURE() << "no error for port " << port;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.kind(), RuntimeError::Kind::PortAccessFailed);
            EXPECT_NE(std::string(error.what()).find("outside the I/O space"), std::string::npos);
        }
        EXPECT_THROW(driver.write(port, 0), RuntimeError);
    }
    EXPECT_EQ(sim.cli({ "log" }).output, ""); // nothing reached a port
}

TEST(PortsimCli, AnUnusableFileBecomesThePortAccessError)
{
    const Simulator sim;
    const std::string unusable = sim.folder.path().string() + "/missing/ports";
    setenv("MOVANTA_PORTSIM", unusable.c_str(), 1);
    PortBinding driver(sim.library);
    try {
        (void)driver.read(888);
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.kind(), RuntimeError::Kind::PortAccessFailed);
        EXPECT_NE(std::string(error.what()).find(unusable + ": No such file or directory"),
            std::string::npos)
            << error.what();
    }
}

TEST(PortsimCli, BadInputIsAClearErrorWithStatus2)
{
    const Simulator sim;
    struct Row {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Row rows[] = {
        { {}, "no command given" },
        { { "frobnicate" }, "unknown command \"frobnicate\"" },
        { { "set", "888" }, "set takes 2 arguments" },
        { { "set", "888", "256" }, "value 256 is outside 0-255" },
        { { "set", "65536", "0" }, "port 65536 is outside 0-65535" },
        { { "get", "-1" }, "port \"-1\" is not a number" },
        { { "get", "0x" }, "port \"0x\" is not a number" },
        { { "get", "88 8" }, "port \"88 8\" is not a number" },
        { { "get", "99999999999999999999" }, "is not a number" },
        { { "set", "888", "0xZZ" }, "value \"0xZZ\" is not a number" },
        { { "log", "--clean" }, "log takes no argument but --clear" },
        { { "demo" }, "demo takes 1 argument" },
    };
    for (const Row& row : rows) {
        const ProcessResult result = sim.cli(row.arguments);
        EXPECT_EQ(result.exit_code, 2) << result.output;
        EXPECT_NE(result.output.find(row.message), std::string::npos) << result.output;
    }

    const std::string folder_as_file = sim.folder.path().string();
    const ProcessResult unwritable = run_process(
        PORTSIM_CLI, { "set", "1", "1" }, ".", { { "MOVANTA_PORTSIM", folder_as_file } });
    EXPECT_EQ(unwritable.exit_code, 2);
    EXPECT_NE(unwritable.output.find(folder_as_file + ": Is a directory"), std::string::npos)
        << unwritable.output;
}
