// SPDX-License-Identifier: MIT
// The GPIO ports against a fake chip: the byte from the lines, the reasons, reopening.
#include "drivers/gpio_ports.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <linux/gpio.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace drivers;

namespace {

namespace fs = std::filesystem;
using Access = GpioPorts::Access;

// Chips by device path; lines read what inputs holds, inverted for an active-low request.
class FakeKernel final : public GpioKernel {
public:
    struct Chip {
        std::string label;
        std::uint32_t lines = 8;
        std::uint64_t inputs = 0;
        int open_error = 0; // as opening the device would fail
        int request_error = 0;
        std::string group;
    };
    // A request, which gives its lines back when it goes.
    struct Ticket final : Held {
        Ticket(FakeKernel& owner, int number)
            : kernel(owner)
            , id(number)
        {
        }
        ~Ticket() override { kernel.held_.erase(id); }
        FakeKernel& kernel;
        int id;
    };

    std::map<fs::path, Chip> chips_;
    std::map<int, std::pair<fs::path, Request>> held_;
    int requests_ = 0;
    int reads_ = 0;

    std::vector<fs::path> chips() override
    {
        std::vector<fs::path> paths;
        for (const auto& chip : chips_)
            paths.push_back(chip.first);
        return paths;
    }
    int chip_info(const fs::path& path, ChipInfo& info) override
    {
        const auto at = chips_.find(path);
        if (at == chips_.end() || at->second.open_error != 0)
            return at == chips_.end() ? ENOENT : at->second.open_error;
        info = { at->second.label, at->second.lines };
        return 0;
    }
    std::unique_ptr<Held> request(const fs::path& path, const Request& lines, int& error) override
    {
        ++requests_;
        error = chips_.at(path).request_error;
        if (error != 0)
            return nullptr;
        held_[++handles_] = { path, lines };
        return std::make_unique<Ticket>(*this, handles_);
    }
    int values(Held& lines, std::uint64_t mask, std::uint64_t& bits) override
    {
        ++reads_;
        const auto& [path, request] = held_.at(static_cast<Ticket&>(lines).id);
        const auto chip = chips_.find(path);
        if (chip == chips_.end())
            return ENODEV;
        const bool low = (request.flags & GPIO_V2_LINE_FLAG_ACTIVE_LOW) != 0;
        bits = 0;
        for (std::size_t i = 0; i < request.offsets.size(); ++i) {
            const bool high = ((chip->second.inputs >> request.offsets[i]) & 1) != 0;
            bits |= std::uint64_t { high != low } << i;
        }
        bits &= mask;
        return 0;
    }
    std::string granting_group(const fs::path& path) override { return chips_.at(path).group; }

private:
    int handles_ = 2;
};

struct Fixture {
    FakeKernel* kernel = new FakeKernel;
    int loads = 0;
    GpioPorts ports;

    explicit Fixture(std::string text)
        : ports(std::unique_ptr<GpioKernel>(kernel), [this, text] {
            ++loads;
            return parse_ports_file(text, "ports.conf");
        })
    {
        kernel->chips_["/dev/gpiochip0"] = { "pinctrl-bcm2711", 58, 0, 0, 0, "" };
        kernel->chips_["/dev/gpiochip1"] = { "cp2112", 8, 0, 0, 0, "" };
    }

    std::pair<std::uint8_t, std::string> read(unsigned long port, Access expected)
    {
        std::uint8_t value = 0;
        std::string reason;
        EXPECT_EQ(ports.read(port, value, reason), expected) << port << ": " << reason;
        return { value, reason };
    }
};

TEST(GpioPorts, TheByteHoldsLineKAtBitK)
{
    struct Row {
        const char* mapping;
        std::uint64_t inputs; // of gpiochip1, by line
        std::uint8_t value;
        std::uint64_t flags;
    };
    constexpr std::uint64_t in = GPIO_V2_LINE_FLAG_INPUT;
    const Row rows[] = {
        { "gpiochip1 0 1 2 3 4 5 6 7", 0x5A, 0x5A, in },
        { "gpiochip1 7 6 5 4 3 2 1 0", 0x5A, 0x5A, in }, // reversed: 0x5A mirrored is 0x5A
        { "gpiochip1 7 6 5 4 3 2 1 0", 0x01, 0x80, in },
        { "/dev/gpiochip1 2 0", 0x04, 0xFD, in }, // bits 2-7 without a line read 1
        { "label:cp2112 0", 0x00, 0xFE, in },
        { "gpiochip1 0 1 2 3 4 5 6 7 active-low", 0x5A, 0xA5, in | GPIO_V2_LINE_FLAG_ACTIVE_LOW },
        { "gpiochip1 3 active-low bias=pull-up", 0x08, 0xFE,
            in | GPIO_V2_LINE_FLAG_ACTIVE_LOW | GPIO_V2_LINE_FLAG_BIAS_PULL_UP },
        { "gpiochip1 3 bias=pull-down", 0x00, 0xFE, in | GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN },
        { "gpiochip1 3 bias=disabled", 0x08, 0xFF, in | GPIO_V2_LINE_FLAG_BIAS_DISABLED },
        { "label:pinctrl-bcm2711 57 17", std::uint64_t { 1 } << 57, 0xFD, in },
    };
    for (const Row& row : rows) {
        Fixture fixture(std::string("0x300 = ") + row.mapping);
        fixture.kernel->chips_["/dev/gpiochip1"].inputs = row.inputs;
        fixture.kernel->chips_["/dev/gpiochip0"].inputs = row.inputs;
        EXPECT_EQ(fixture.read(0x300, Access::Done).first, row.value) << row.mapping;
        ASSERT_EQ(fixture.kernel->held_.size(), 1u) << row.mapping;
        const auto& request = fixture.kernel->held_.begin()->second.second;
        EXPECT_EQ(request.flags, row.flags) << row.mapping;
        EXPECT_EQ(request.consumer, "movanta") << row.mapping;
    }
}

TEST(GpioPorts, AFailureNamesTheDeviceAndTheReason)
{
    struct Row {
        const char* mapping;
        int open_error; // of gpiochip1
        int request_error;
        const char* group;
        std::string reason;
        std::uint8_t recovered = 0xFE; // once the fault is put right: the mapped lines read 0
    };
    const Row rows[] = {
        { "gpiochip7 0", 0, 0, "",
            "/dev/gpiochip7: no such GPIO chip (No such file or directory)" },
        { "label:ftdi 0", 0, 0, "", "no GPIO chip has the label ftdi" },
        { "label:ftdi 0", EACCES, 0, "",
            "no GPIO chip has the label ftdi (not every chip could be asked: /dev/gpiochip1: "
            "Permission denied: only root may open it; a udev rule can give it to a group such "
            "as gpio (see docs/gpio.md))" },
        { "gpiochip1 0 8", 0, 0, "",
            "/dev/gpiochip1 (label cp2112): line 8 is out of range: the chip has lines 0-7", 0xFC },
        { "gpiochip1 3", 0, EBUSY, "",
            "/dev/gpiochip1 (label cp2112): Device or resource busy: another program holds "
            "line 3" },
        { "gpiochip1 3 4", 0, EBUSY, "",
            "/dev/gpiochip1 (label cp2112): Device or resource busy: another program holds one "
            "of lines 3 4",
            0xFC },
        { "gpiochip1 3", EACCES, 0, "gpio",
            "/dev/gpiochip1: Permission denied: group gpio may open it; add the user to it "
            "(usermod -aG gpio USER) and log in again" },
        { "gpiochip1 3", EACCES, 0, "",
            "/dev/gpiochip1: Permission denied: only root may open it; a udev rule can give it "
            "to a group such as gpio (see docs/gpio.md)" },
        { "gpiochip1 3", 0, EACCES, "plugdev",
            "/dev/gpiochip1: Permission denied: group "
            "plugdev may open it; add the user to it "
            "(usermod -aG plugdev USER) and log in again" },
        { "gpiochip1 3", EIO, 0, "", "/dev/gpiochip1: Input/output error" },
    };
    for (const Row& row : rows) {
        Fixture fixture(std::string("0x300 = ") + row.mapping);
        auto& chip = fixture.kernel->chips_["/dev/gpiochip1"];
        chip.group = row.group;
        chip.open_error = row.open_error;
        chip.request_error = row.request_error;
        chip.inputs = 0;
        EXPECT_EQ(
            fixture.read(0x300, Access::Failed), std::make_pair(std::uint8_t { 255 }, row.reason))
            << row.mapping;
        // Tried again at the next access, and fine once the fault is put right.
        chip = { "ftdi", 9, 0, 0, 0, "" };
        fixture.kernel->chips_["/dev/gpiochip7"] = chip;
        EXPECT_EQ(fixture.read(0x300, Access::Done).first, row.recovered) << row.mapping;
    }
}

// A chip's label is its driver's: a USB part's may hold anything.
TEST(GpioPorts, OutsideTextInAReasonIsEscaped)
{
    Fixture fixture("0x300 = gpiochip1 9\n0x301 = label:\"\u202Eftdi\" 0");
    fixture.kernel->chips_["/dev/gpiochip1"].label = "cp\x1b[2J2112";
    EXPECT_EQ(fixture.read(0x300, Access::Failed).second,
        "/dev/gpiochip1 (label cp\\x1B[2J2112): line 9 is out of range: the chip has lines 0-7");
    EXPECT_EQ(
        fixture.read(0x301, Access::Failed).second, "no GPIO chip has the label \\u{202E}ftdi");
}

TEST(GpioPorts, ARequestIsKeptAndAChipThatWentIsLookedForAgain)
{
    Fixture fixture("# a CP2112\n0x300 = label:cp2112 0 1 2 3 4 5 6 7\n");
    auto& kernel = *fixture.kernel;
    for (const std::uint8_t value :
        std::initializer_list<std::uint8_t> { 0x00, 0xFF, 0x5A, 0xA5 }) {
        kernel.chips_["/dev/gpiochip1"].inputs = value;
        EXPECT_EQ(fixture.read(0x300, Access::Done).first, value);
    }
    EXPECT_EQ(kernel.requests_, 1);
    EXPECT_EQ(kernel.reads_, 4); // one values call per read

    const auto chip = kernel.chips_.extract("/dev/gpiochip1");
    EXPECT_EQ(fixture.read(0x300, Access::Failed).second,
        "/dev/gpiochip1 (label cp2112): reading lines 0 1 2 3 4 5 6 7: No such device: the chip "
        "has gone; it is looked for again at the next access");
    EXPECT_TRUE(kernel.held_.empty()); // the dead request is let go
    EXPECT_EQ(fixture.read(0x300, Access::Failed).second, "no GPIO chip has the label cp2112");
    // Plugged in again, under another number.
    kernel.chips_["/dev/gpiochip2"] = chip.mapped();
    EXPECT_EQ(fixture.read(0x300, Access::Done).first, 0xA5);
    EXPECT_EQ(kernel.held_.begin()->second.first, "/dev/gpiochip2");

    // Writes change nothing and succeed; ports not in the file are for the others.
    std::string reason;
    EXPECT_EQ(fixture.ports.write(0x300, reason), Access::Done);
    EXPECT_EQ(fixture.read(0x300, Access::Done).first, 0xA5);
    EXPECT_EQ(fixture.ports.write(888, reason), Access::NotMapped);
    EXPECT_EQ(fixture.read(888, Access::NotMapped).first, 255);
    EXPECT_EQ(fixture.loads, 1);
}

TEST(GpioPorts, ABadFileFailsEveryPortWithItsLine)
{
    Fixture fixture("0x300 = gpiochip1 0\n0x301 = gpiochip1\n");
    const std::string error
        = "ports.conf:2: expected a line number after 'gpiochip1', found nothing";
    EXPECT_EQ(fixture.read(0x300, Access::Failed), std::make_pair(std::uint8_t { 255 }, error));
    EXPECT_EQ(fixture.read(888, Access::Failed).second, error);
    std::string reason;
    EXPECT_EQ(fixture.ports.write(888, reason), Access::Failed);
    EXPECT_EQ(reason, error);
    EXPECT_EQ(fixture.loads, 1);
    EXPECT_EQ(fixture.kernel->requests_, 0);
}

// A path under /dev that is no chip fails at once, whatever it is.
TEST(GpioPorts, ADeviceThatIsNoChipFailsWithoutBlocking)
{
    const fs::path fifo = "/dev/shm/movanta-gpio-test-" + std::to_string(::getpid());
    if (::mkfifo(fifo.c_str(), 0600) != 0)
        GTEST_SKIP() << "no FIFO can be made in /dev/shm";
    for (const std::string& device : { fifo.string(), std::string("/dev/null") }) {
        GpioPorts ports(linux_gpio_kernel(),
            [&] { return parse_ports_file("888 = " + device + " 0", "ports.conf"); });
        std::uint8_t value = 0;
        std::string reason;
        EXPECT_EQ(ports.read(888, value, reason), Access::Failed) << device;
        EXPECT_EQ(reason, device + ": Inappropriate ioctl for device");
    }
    fs::remove(fifo);
}

} // namespace
