// SPDX-License-Identifier: MIT
#include "drivers/hardware_ports.h"
#include "drivers/parport_map.h"
#include "run_process.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace drivers;

namespace {

namespace fs = std::filesystem;

void write_file(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

// A procfs-like and a sysfs-like tree, as the kernel lays them out, under one folder.
struct FakeSystem {
    TemporaryFolder folder;
    fs::path proc = folder.path() / "proc/sys/dev/parport";
    fs::path sys = folder.path() / "sys/class/parport";
    fs::path dev = folder.path() / "dev";

    FakeSystem()
    {
        write_file(proc / "parport0/base-addr", "888\t1912\n");
        write_file(proc / "default/timeslice", "200\n");
        write_file(sys / "parport1/base-addr", "632\n");
        write_file(sys / "parport0/base-addr", "888\n"); // the same port once more
        write_file(proc / "parport2/base-addr", "nonsense\n");
        fs::create_directories(dev);
    }

    [[nodiscard]] HardwarePorts::Paths paths() const
    {
        return { { proc, sys }, dev, dev / "port" };
    }
};

} // namespace

TEST(ParportMap, FindsTheThreeRegistersOfEachKnownPort)
{
    const FakeSystem system;
    const ParportMap map = ParportMap::scan({ system.proc, system.sys }, system.dev);
    ASSERT_EQ(map.ports().size(), 2u);

    using R = ParportMap::Register;
    struct Row {
        std::uint32_t port;
        bool found;
        const char* device;
        R reg;
    };
    const Row rows[] = {
        { 888, true, "parport0", R::Data },
        { 889, true, "parport0", R::Status },
        { 890, true, "parport0", R::Control },
        { 891, false, "", R::Data }, // EPP registers are not ppdev's
        { 887, false, "", R::Data },
        { 632, true, "parport1", R::Data },
        { 634, true, "parport1", R::Control },
        { 0, false, "", R::Data },
    };
    for (const Row& row : rows) {
        const auto at = map.find(row.port);
        ASSERT_EQ(at.has_value(), row.found) << row.port;
        if (!at)
            continue;
        EXPECT_EQ(map.ports()[at->index].device, system.dev / row.device) << row.port;
        EXPECT_EQ(at->reg, row.reg) << row.port;
    }
}

TEST(ParportMap, MissingTreesGiveNoPorts)
{
    const ParportMap map = ParportMap::scan({ "/nonexistent/parport" }, "/dev");
    EXPECT_TRUE(map.ports().empty());
    EXPECT_FALSE(map.find(888));
}

TEST(HardwarePorts, OutOfRangePortsReadAllOnesAndWriteNothing)
{
    const FakeSystem system;
    HardwarePorts ports(system.paths());
    for (const unsigned long port : { 65536ul, 70000ul, 4294967295ul }) {
        std::uint8_t value = 0;
        std::string reason;
        EXPECT_FALSE(ports.read(port, value, reason));
        EXPECT_EQ(value, 255);
        EXPECT_NE(reason.find("outside the I/O space 0-65535"), std::string::npos) << reason;
        EXPECT_NE(reason.find(std::to_string(port)), std::string::npos) << reason;
        reason.clear();
        EXPECT_FALSE(ports.write(port, 0, reason));
        EXPECT_FALSE(reason.empty());
    }
    // Nothing was opened for them.
    EXPECT_FALSE(fs::exists(system.dev / "port"));
}

TEST(HardwarePorts, AMissingDeviceIsNamedWithTheReason)
{
    const FakeSystem system;
    HardwarePorts ports(system.paths());
    std::uint8_t value = 0;
    std::string reason;
    EXPECT_FALSE(ports.read(0x80, value, reason));
    EXPECT_EQ(value, 255);
    EXPECT_EQ(reason, (system.dev / "port").string() + ": No such file or directory");
    reason.clear();
    EXPECT_FALSE(ports.read(888, value, reason));
    EXPECT_EQ(reason, (system.dev / "parport0").string() + ": No such file or directory");

    // Once the device is there, the next access opens it: no restart needed.
    write_file(system.dev / "port", std::string(0x100, '\x22'));
    reason.clear();
    EXPECT_TRUE(ports.read(0x80, value, reason)) << reason;
    EXPECT_EQ(value, 0x22);
}

TEST(HardwarePorts, OtherPortsGoThroughDevPortAtThePortAsOffset)
{
    const FakeSystem system;
    write_file(system.dev / "port", std::string(0x100, '\x11'));
    HardwarePorts ports(system.paths());
    std::string reason;
    ASSERT_TRUE(ports.write(0x80, 0xA5, reason)) << reason;
    std::uint8_t value = 0;
    ASSERT_TRUE(ports.read(0x80, value, reason)) << reason;
    EXPECT_EQ(value, 0xA5);
    ASSERT_TRUE(ports.read(0x81, value, reason)) << reason;
    EXPECT_EQ(value, 0x11);
    EXPECT_TRUE(reason.empty());

    // Past the device's end the kernel's /dev/port reads nothing: an error, not a value.
    EXPECT_FALSE(ports.read(0x200, value, reason));
    EXPECT_EQ(value, 255);
    EXPECT_NE(reason.find("no port 512"), std::string::npos) << reason;
}

TEST(HardwarePorts, AParallelPortRegisterGoesThroughPpdevNotDevPort)
{
    const FakeSystem system;
    write_file(system.dev / "port", std::string(0x400, '\x11'));
    write_file(system.dev / "parport0", ""); // no ppdev: claiming it fails
    HardwarePorts ports(system.paths());
    std::uint8_t value = 0;
    std::string reason;
    EXPECT_FALSE(ports.read(890, value, reason));
    EXPECT_EQ(
        reason, (system.dev / "parport0").string() + ": PPCLAIM: Inappropriate ioctl for device");
    EXPECT_EQ(value, 255);
    // The failed device is tried again at the next access, never /dev/port in its place.
    fs::remove(system.dev / "parport0");
    std::string again;
    EXPECT_FALSE(ports.read(888, value, again));
    EXPECT_EQ(again, (system.dev / "parport0").string() + ": No such file or directory");
    EXPECT_EQ(value, 255);
}

TEST(HardwarePortsDeathTest, NoPermissionIsNamedWithTheReason)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const FakeSystem system;
    write_file(system.dev / "port", std::string(0x100, '\0'));
    fs::permissions(system.dev / "port", fs::perms::owner_read);
    // Root passes every permission check: the child becomes an ordinary user first.
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(3);
            HardwarePorts ports(system.paths());
            std::uint8_t value = 0;
            std::string reason;
            const bool done = ports.read(0x80, value, reason);
            const bool named = !done && value == 255
                && reason.find("/dev/port: Permission denied") != std::string::npos;
            std::fprintf(stderr, "%s\n", reason.c_str());
            _exit(named ? 0 : 1);
        },
        testing::ExitedWithCode(0), "Permission denied");
}

// A device that opens but stops working is let go, so that the next access opens it afresh
// rather than failing on the broken one for ever. A FIFO opens read-write but refuses pread.
TEST(HardwarePorts, ADeviceThatStopsWorkingIsOpenedAfreshAtTheNextAccess)
{
    struct Row {
        bool writing;
        const char* failure;
    };
    const Row rows[] = {
        { false, "/port: read: Illegal seek" },
        { true, "/port: write: Illegal seek" },
    };
    for (const Row& row : rows) {
        const FakeSystem system;
        ASSERT_EQ(mkfifo((system.dev / "port").c_str(), 0600), 0);
        HardwarePorts ports(system.paths());
        std::uint8_t value = 0x42;
        std::string reason;
        const auto access = [&] {
            return row.writing ? ports.write(0x80, value, reason) : ports.read(0x80, value, reason);
        };
        EXPECT_FALSE(access());
        EXPECT_EQ(reason, system.dev.string() + row.failure);

        fs::remove(system.dev / "port");
        write_file(system.dev / "port", std::string(0x100, '\x42'));
        reason.clear();
        EXPECT_TRUE(access()) << reason;
        EXPECT_EQ(value, 0x42);
    }
}
