// SPDX-License-Identifier: MIT
// The simulator file against a hostile neighbour and a careless shell: planted, locked and
// truncated files, two writers at once, a full output, a low file size limit.
#include "core/runtime_error.h"
#include "drivers/port_space.h"
#include "port/port_binding.h"
#include "run_process.h"

#include <atomic>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace core;
using namespace drivers;
using namespace port;

namespace {

std::string error_of(const std::filesystem::path& file)
{
    try {
        PortSpace space(file);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(PortsimHostile, PlantedOrLockedFilesAreRefusedWithoutWaiting)
{
    const TemporaryFolder folder;
    const auto file = folder.path() / "ports";
    int held = -1;
    struct Row {
        const char* what;
        std::function<void()> plant;
        const char* message;
        bool needs_root;
    };
    const Row rows[] = {
        { "a FIFO", [&] { mkfifo(file.c_str(), 0600); }, "not a plain file", false },
        { "a link", [&] { symlink("/etc/passwd", file.c_str()); },
            "Too many levels of symbolic links", false },
        { "another user's file",
            [&] {
                (void)PortSpace(file);
                ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
            },
            "belongs to another user", true },
        { "a file locked by another process",
            [&] {
                (void)PortSpace(file);
                held = open(file.c_str(), O_RDONLY);
                ASSERT_EQ(flock(held, LOCK_EX), 0);
            },
            "locked by another process", false },
        { "a file of an older simulator",
            [&] { std::ofstream(file) << "PORTSIM1" << std::string(4096, '\0'); },
            "a port simulator file of another version: remove it, and the next use makes a new "
            "one",
            false },
        { "a file of value named by mistake", [&] { std::ofstream(file) << "Dear diary,"; },
            "not a port simulator file", false },
    };
    for (const Row& row : rows) {
        if (row.needs_root && geteuid() != 0)
            continue;
        std::filesystem::remove(file);
        row.plant();
        EXPECT_EQ(error_of(file), file.string() + ": " + row.message) << row.what;
    }
    close(held);
}

TEST(PortsimHostile, AFileTruncatedWhileInUseIsAnErrorNamingIt)
{
    const TemporaryFolder folder;
    const auto file = folder.path() / "ports";
    const auto library = folder.path() / "libdlportio.so";
    std::filesystem::copy_file(SIMULATOR_DRIVER, library);
    setenv("MOVANTA_PORTSIM", file.c_str(), 1);
    PortBinding driver(library.string());
    PortSpace space(file);
    ASSERT_EQ(driver.read(888), 255);
    ASSERT_EQ(truncate(file.c_str(), 0), 0);

    const std::string named = file.string() + ": the file was truncated while in use";
    const std::function<void()> accesses[] = {
        [&] { (void)space.read(888); },
        [&] { space.write(888, 1); },
        [&] { space.set_input(888, 1); },
        [&] { (void)space.log(); },
        [&] { space.reset(); },
    };
    for (const auto& access : accesses) {
        try {
            access();
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), named);
        }
    }
    try {
        (void)driver.read(888);
        ADD_FAILURE() << "no error from the driver";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), 57);
        EXPECT_EQ(std::string(error.what()), "Portzugriff fehlgeschlagen (" + named + ")");
    }
    // Made anew (movanta-portsim reset, say), the same file serves the old mapping again.
    PortSpace(file).set_input(888, 0x5A);
    EXPECT_EQ(space.read(888), 0x5A);
    EXPECT_EQ(driver.read(888), 0x5A);
    unsetenv("MOVANTA_PORTSIM");
}

// A file cut short between its space being reserved and its first check: the opening fails,
// and neither its mapping nor, through it, its lock is left behind.
TEST(PortsimHostile, AFileTruncatedWhileOpeningLeavesNoMappingBehind)
{
    const TemporaryFolder folder;
    const auto file = folder.path() / "ports";
    std::atomic<bool> cut { false };
    std::thread cutter([&] {
        while (!cut)
            (void)truncate(file.c_str(), 0);
    });
    bool hit = false;
    for (int i = 0; i < 100'000 && !hit; ++i)
        hit = error_of(file).ends_with("the file was truncated while in use");
    cut = true;
    cutter.join();
    if (!hit)
        GTEST_SKIP() << "no truncation landed inside the first check";
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        EXPECT_EQ(line.find(file.string()), std::string::npos) << line;
    EXPECT_EQ(error_of(file), "no error"); // at once: the lock went with the mapping
}

TEST(PortsimHostile, TwoWritingProcessesLoseNoEntryAndReadersSeeOnlyWholeOnes)
{
    const TemporaryFolder folder;
    const auto file = folder.path() / "ports";
    PortSpace reader(file);
    // Two processes of 30,000 writes each, fewer than the log holds; a value is its port's low
    // byte, so that a torn entry shows.
    constexpr std::uint16_t per_writer = 30'000;
    pid_t writers[2];
    for (std::uint16_t w = 0; w < 2; ++w) {
        writers[w] = fork();
        if (writers[w] == 0) {
            PortSpace space(file);
            for (std::uint16_t i = 0; i < per_writer; ++i) {
                const auto port = static_cast<std::uint16_t>(w * per_writer + i);
                space.write(port, static_cast<std::uint8_t>(port));
            }
            _exit(0);
        }
    }
    const auto whole = [](const PortSpace::LogEntry& entry) {
        return entry.write && entry.value == static_cast<std::uint8_t>(entry.port);
    };
    for (int status = 0, running = 2; running > 0;) {
        for (const auto& entry : reader.log())
            ASSERT_TRUE(whole(entry)) << "port " << entry.port << " value " << int { entry.value };
        for (const pid_t writer : writers)
            running -= waitpid(writer, &status, WNOHANG) == writer ? 1 : 0;
    }
    std::set<std::uint16_t> ports;
    for (const auto& entry : reader.log())
        ports.insert(entry.port);
    EXPECT_EQ(ports.size(), 2u * per_writer);
}

TEST(PortsimHostile, TheCliFailsCleanlyOnAFullOutputAndASmallFileLimit)
{
    const TemporaryFolder folder;
    const std::string file = (folder.path() / "ports").string();
    PortSpace(file).write(888, 255); // a line for the log to print
    struct Row {
        const char* script; // run by sh with the CLI as $0
        int status;
        const char* output;
    };
    const Row rows[] = {
        { "exec \"$0\" get 888 >/dev/full", 1, "cannot write the output: No space left" },
        { "exec \"$0\" -h >/dev/full", 1, "cannot write the output" },
        { "exec \"$0\" log >/dev/full", 1, "cannot write the output" },
        { "exec \"$0\" get 00000000888", 0, "255\n" },
        { "exec \"$0\" get 0x000000378", 0, "255\n" },
        { "exec \"$0\" get '&H378'", 0, "255\n" },
        { "exec \"$0\" --help", 0, "decimal, hex after 0x or &H, octal after &O" },
        { "exec \"$0\" get \"$(printf '\\033[2J')\"", 2, "port \"\\x1B[2J\" is not a number" },
        { "exec \"$0\" log --cl", 2, "log takes no argument but --clear, not \"--cl\"" },
        { "rm -f \"$MOVANTA_PORTSIM\"; ulimit -f 1; exec \"$0\" get 888", 2,
            "reserve space: File too large" },
    };
    for (const Row& row : rows) {
        const ProcessResult result = run_process(
            "/bin/sh", { "-c", row.script, PORTSIM_CLI }, ".", { { "MOVANTA_PORTSIM", file } });
        EXPECT_EQ(result.exit_code, row.status) << row.script << ": " << result.output;
        EXPECT_NE(result.output.find(row.output), std::string::npos)
            << row.script << ": " << result.output;
    }
}

TEST(PortsimHostile, WithoutARuntimeFolderTheFileLivesInAPrivateFolder)
{
    const TemporaryFolder folder;
    const std::filesystem::path own = folder.path() / ("movanta-" + std::to_string(geteuid()));
    const std::vector<std::pair<std::string, std::string>> environment { { "MOVANTA_PORTSIM", "" },
        { "XDG_RUNTIME_DIR", "" }, { "TMPDIR", folder.path() } };
    ASSERT_EQ(run_process(PORTSIM_CLI, { "set", "888", "7" }, ".", environment).exit_code, 0);
    struct stat info { };
    ASSERT_EQ(lstat(own.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_TRUE(std::filesystem::is_regular_file(own / "portsim"));

    chmod(own.c_str(), 0777); // as if someone else had made it for us
    const ProcessResult refused = run_process(PORTSIM_CLI, { "get", "888" }, ".", environment);
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_NE(
        refused.output.find(own.string() + ": not a folder of this user's own"), std::string::npos)
        << refused.output;
}
