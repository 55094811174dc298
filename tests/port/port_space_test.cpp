// SPDX-License-Identifier: MIT
#include "drivers/port_space.h"
#include "run_process.h"

#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace drivers;

namespace {

struct Space {
    TemporaryFolder folder;
    std::filesystem::path file = folder.path() / "ports";
};

} // namespace

TEST(PortSpace, AReadGivesTheLatchAndTheInput)
{
    const Space files;
    PortSpace space(files.file);
    struct Row {
        std::uint8_t written;
        std::uint8_t driven;
        std::uint8_t read;
    };
    const Row rows[] = {
        { 255, 255, 255 }, // nothing pulls low
        { 255, 0xA5, 0xA5 }, // the outside world shows through lines written high
        { 0x0F, 0xA5, 0x05 },
        { 0, 255, 0 },
    };
    for (const Row& row : rows) {
        space.write(888, row.written);
        space.set_input(888, row.driven);
        EXPECT_EQ(space.read(888), row.read);
    }
    EXPECT_EQ(space.read(889), 255); // untouched ports read all ones
}

TEST(PortSpace, IsSharedThroughTheFileAndKeptWhenReopened)
{
    const Space files;
    PortSpace first(files.file);
    PortSpace second(files.file);
    first.set_input(65535, 0x5A);
    EXPECT_EQ(second.read(65535), 0x5A);
    second.write(0, 0x0F);
    EXPECT_EQ(PortSpace(files.file).latch(0), 0x0F);
}

TEST(PortSpace, LogsAccessesOldestFirstAndClears)
{
    const Space files;
    PortSpace space(files.file);
    space.set_input(1, 0x3C); // the outside world is not logged
    space.write(888, 255);
    (void)space.read(1);
    auto log = space.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].write);
    EXPECT_EQ(log[0].port, 888);
    EXPECT_EQ(log[0].value, 255);
    EXPECT_FALSE(log[1].write);
    EXPECT_EQ(log[1].port, 1);
    EXPECT_EQ(log[1].value, 0x3C);
    EXPECT_LE(log[0].microseconds, log[1].microseconds);

    space.clear_log();
    EXPECT_TRUE(space.log().empty());
    (void)space.read(2);
    EXPECT_EQ(space.log().size(), 1u);
}

TEST(PortSpace, TheLogKeepsTheLast65536Accesses)
{
    const Space files;
    PortSpace space(files.file);
    const std::uint32_t total = PortSpace::log_capacity + 100;
    for (std::uint32_t i = 0; i < total; ++i)
        space.write(static_cast<std::uint16_t>(i), static_cast<std::uint8_t>(i));
    const auto log = space.log();
    ASSERT_EQ(log.size(), PortSpace::log_capacity);
    EXPECT_EQ(log.front().port, 100);
    EXPECT_EQ(log.back().port, static_cast<std::uint16_t>(total - 1));
}

TEST(PortSpace, ResetRestoresAllOnesAndEmptiesTheLog)
{
    const Space files;
    PortSpace space(files.file);
    space.write(7, 0);
    space.set_input(8, 0);
    space.reset();
    EXPECT_EQ(space.latch(7), 255);
    EXPECT_EQ(space.input(8), 255);
    EXPECT_TRUE(space.log().empty());
}

TEST(PortSpace, RefusesFilesItCannotUse)
{
    const Space files;
    std::ofstream(files.file) << "not a port space";
    EXPECT_THROW(PortSpace { files.file }, std::runtime_error);
    EXPECT_THROW(PortSpace { files.folder.path() / "missing/ports" }, std::runtime_error);
}
