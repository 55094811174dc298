// SPDX-License-Identifier: MIT
// The ports file: good and bad lines, and which file is read.
#include "drivers/gpio_ports_file.h"
#include "run_process.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>

using namespace drivers;

namespace {

namespace fs = std::filesystem;
using B = GpioBias;

TEST(GpioPortsFile, GoodLinesMapPortsToLines)
{
    struct Row {
        const char* text;
        std::uint16_t port;
        const char* chip;
        std::vector<std::uint32_t> lines;
        bool active_low;
        B bias;
    };
    const Row rows[] = {
        { "888 = gpiochip0 17 27 22 5 6 13 19 26", 888, "gpiochip0",
            { 17, 27, 22, 5, 6, 13, 19, 26 }, false, B::AsIs },
        { "0x300=label:cp2112 0 1 2 3 4 5 6 7 active-low", 0x300, "label:cp2112",
            { 0, 1, 2, 3, 4, 5, 6, 7 }, true, B::AsIs },
        { "  0X3FF = /dev/gpiochip4 3 bias=pull-up active-low # a switch", 0x3FF, "/dev/gpiochip4",
            { 3 }, true, B::PullUp },
        { "65535 = gpiochip12 0\tbias=pull-down", 65535, "gpiochip12", { 0 }, false, B::PullDown },
        { "0 = label:pinctrl-bcm2711 4 bias=disabled", 0, "label:pinctrl-bcm2711", { 4 }, false,
            B::Disabled },
        { "1\t=\tlabel:\"GPIO  expander\"\t2 active-low\r", 1, "label:GPIO  expander", { 2 }, true,
            B::AsIs },
    };
    for (const Row& row : rows) {
        const PortsFile file = parse_ports_file(std::string("# ports\n\n") + row.text, "f");
        ASSERT_EQ(file.error, "") << row.text;
        ASSERT_EQ(file.ports.size(), 1u) << row.text;
        const GpioMapping& got = file.ports[0];
        EXPECT_EQ(got.port, row.port) << row.text;
        EXPECT_EQ(got.chip, row.chip) << row.text;
        EXPECT_EQ(got.lines, row.lines) << row.text;
        EXPECT_EQ(got.active_low, row.active_low) << row.text;
        EXPECT_EQ(got.bias, row.bias) << row.text;
    }
}

TEST(GpioPortsFile, ABadLineIsNamedWithWhatWasExpected)
{
    using namespace std::string_literals;
    struct Row {
        std::string line;
        std::string error; // after "ports.conf:3: "
    };
    const Row rows[] = {
        { "888 gpiochip0 1",
            "expected PORT = CHIP LINE0 [LINE1 ... LINE7] [active-low] "
            "[bias=pull-up|pull-down|disabled]" },
        { "888 gpiochip0 1 bias=pull-up",
            "expected PORT = CHIP LINE0 [LINE1 ... LINE7] [active-low] "
            "[bias=pull-up|pull-down|disabled]" },
        { "65536 = gpiochip0 1", "port '65536' is not a number 0-65535 (decimal or 0x...)" },
        { "0x = gpiochip0 1", "port '0x' is not a number 0-65535 (decimal or 0x...)" },
        { "-1 = gpiochip0 1", "port '-1' is not a number 0-65535 (decimal or 0x...)" },
        { " = gpiochip0 1", "port '' is not a number 0-65535 (decimal or 0x...)" },
        { "888 =",
            "expected a chip after '=' (gpiochipN, a path under /dev, or label:TEXT), "
            "found nothing" },
        { "888 = chip0 1",
            "expected a chip after '=' (gpiochipN, a path under /dev, or "
            "label:TEXT), found 'chip0'" },
        { "888 = label: 1",
            "expected a chip after '=' (gpiochipN, a path under /dev, or "
            "label:TEXT), found 'label:'" },
        { "888 = gpiochip0", "expected a line number after 'gpiochip0', found nothing" },
        { "888 = gpiochip0 active-low",
            "expected a line number after 'gpiochip0', found "
            "'active-low'" },
        { "888 = gpiochip0 0 1 2 3 4 5 6 7 8", "more than 8 lines: a port has 8 bits" },
        { "888 = gpiochip0 4 5 4", "line 4 is given twice" },
        { "888 = gpiochip0 4 x",
            "expected active-low or bias=pull-up|pull-down|disabled after "
            "the lines, found 'x'" },
        { "888 = gpiochip0 4 active-low 5",
            "expected active-low or "
            "bias=pull-up|pull-down|disabled after the lines, "
            "found '5'" },
        { "888 = gpiochip0 4 bias=up",
            "bias 'up' is unknown: expected pull-up, pull-down or "
            "disabled" },
        { "888 = gpiochip0 4 active-low active-low", "'active-low' is given twice" },
        { "888 = gpiochip0 4 bias=pull-up bias=disabled", "'bias' is given twice" },
        { "0x378 = gpiochip1 0", "port 888 is mapped already on line 1" },
        { "889 = label:my chip 1", "expected a line number after 'label:my', found 'chip'" },
        { "889 = label:\"my chip 1",
            "expected label:\"TEXT\" with TEXT in one pair of double quotes, found "
            "'label:\"my chip 1'" },
        { "889 = label:\"\" 1",
            "expected label:\"TEXT\" with TEXT in one pair of double quotes, found 'label:\"\"'" },
        { "889 = gpiochip0 1 4294967296", "line '4294967296' is not a line number 0-4294967295" },
        { "889 = gpiochip0 -3", "line '-3' is not a line number 0-4294967295" },
        { "889 = gpiochip0 0",
            "line 0 of gpiochip0 is port 888's already (line 1): a line can serve one port" },
        { "889 = /dev/gpiochip0 5 0",
            "line 0 of /dev/gpiochip0 is port 888's already (line 1): a line can serve one port" },
        // Quoted text reaches a terminal escaped and at most about 200 characters long.
        { "8\0"
          "88 = gpiochip0 1"s,
            "port '8\\x0088' is not a number 0-65535 (decimal or 0x...)" },
        { "889 = gpiochip0 1 \x1b[31mred",
            "expected active-low or bias=pull-up|pull-down|disabled after the lines, found "
            "'\\x1B[31mred'" },
        { "889 = label:\"ab\u202Ecd 1",
            "expected label:\"TEXT\" with TEXT in one pair of double quotes, found "
            "'label:\"ab\\u{202E}cd 1'" },
        { "889 = label:" + std::string(1'000'000, 'x') + " x",
            "expected a line number after 'label:" + std::string(194, 'x') + "\u2026', found 'x'" },
    };
    for (const Row& row : rows) {
        const PortsFile file = parse_ports_file(
            std::string("888 = gpiochip0 0\n# fine\n") + row.line + "\n", "ports.conf");
        EXPECT_EQ(file.error, std::string("ports.conf:3: ") + row.error) << row.line;
        EXPECT_TRUE(file.ports.empty()) << row.line;
    }
}

TEST(GpioPortsFile, TheEnvironmentChoosesTheFile)
{
    const TemporaryFolder folder;
    const fs::path root = folder.path();
    // Each file maps a port of its own, so the port read back names the file chosen.
    const std::map<std::string, std::string> files = {
        { "own.conf",
            "\xEF\xBB\xBF"
            "1 = gpiochip0 0\r\n" }, // as a Windows editor saves it
        { "big.conf", std::string(std::size_t { 1 } << 20, '#') + "\n6 = gpiochip0 0" },
        { "xdg/movanta/ports.conf", "2 = gpiochip0 0" },
        { "home/.config/movanta/ports.conf", "3 = gpiochip0 0" },
        { "etc/ports.conf", "4 = gpiochip0 0" },
        { "bad.conf", "\n5 = gpiochip0" },
    };
    for (const auto& [name, text] : files) {
        fs::create_directories((root / name).parent_path());
        std::ofstream(root / name) << text;
    }
    fs::create_directories(root / "empty-home");
    fs::create_directories(root / "empty-xdg");

    struct Row {
        const char* ports; // MOVANTA_PORTS, relative to root
        const char* xdg;
        const char* home;
        const char* system; // the system file
        int port; // the port the chosen file maps; 0: none
        std::string error;
    };
    const std::string missing = (root / "gone.conf").string();
    const Row rows[] = {
        { "own.conf", "xdg", "home", "etc/ports.conf", 1, "" },
        { nullptr, "xdg", "home", "etc/ports.conf", 2, "" },
        { nullptr, nullptr, "home", "etc/ports.conf", 3, "" },
        { nullptr, "empty-xdg", "home", "etc/ports.conf", 4, "" },
        { nullptr, nullptr, "empty-home", "etc/ports.conf", 4, "" },
        { nullptr, nullptr, nullptr, "etc/ports.conf", 4, "" },
        { nullptr, nullptr, "empty-home", "etc/none.conf", 0, "" },
        { "gone.conf", "xdg", "home", "etc/ports.conf", 0,
            missing + ": No such file or directory" },
        { "xdg", nullptr, nullptr, "etc/ports.conf", 0,
            (root / "xdg").string() + ": not a regular file" },
        { "/dev/zero", nullptr, nullptr, "etc/ports.conf", 0, "/dev/zero: not a regular file" },
        { "big.conf", nullptr, nullptr, "etc/ports.conf", 0,
            (root / "big.conf").string() + ": larger than 1 MiB: not a ports file" },
        { "bad.conf", nullptr, nullptr, "etc/ports.conf", 0,
            (root / "bad.conf").string()
                + ":2: expected a line number after 'gpiochip0', found nothing" },
        { "", "xdg", "home", "etc/ports.conf", 0,
            "MOVANTA_PORTS is set but empty: name a ports file, or unset it" },
    };
    for (const Row& row : rows) {
        std::map<std::string, std::string> variables;
        if (row.ports != nullptr)
            variables["MOVANTA_PORTS"] = *row.ports == '\0' ? "" : (root / row.ports).string();
        if (row.xdg != nullptr)
            variables["XDG_CONFIG_HOME"] = (root / row.xdg).string();
        if (row.home != nullptr)
            variables["HOME"] = (root / row.home).string();
        const PortsFile file = load_ports_file(
            [&](const char* name) -> const char* {
                const auto at = variables.find(name);
                return at != variables.end() ? at->second.c_str() : nullptr;
            },
            root / row.system);
        EXPECT_EQ(file.error, row.error) << row.port;
        EXPECT_EQ(file.ports.empty() ? 0 : file.ports[0].port, row.port) << row.port;
    }
}

} // namespace
