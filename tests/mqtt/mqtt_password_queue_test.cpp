// SPDX-License-Identifier: MIT
// The password file and the bounded queue of records that wait for the broker.
#include "watch/mqtt_password.h"
#include "watch/record_queue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

using namespace core;
using namespace watch;

namespace {

TEST(MqttPassword, FirstLineAndAWarningWhenOthersMayReadIt)
{
    const struct {
        std::string content;
        mode_t mode;
        const char* password; // nullptr: refused
        bool warns;
    } cases[] = {
        { "geheim\n", 0600, "geheim", false },
        { "geheim\r\nzweite Zeile\n", 0400, "geheim", false },
        { "ohne Zeilenende", 0600, "ohne Zeilenende", false },
        { " mit Leerzeichen \n", 0640, " mit Leerzeichen ", true },
        { "geheim\n", 0604, "geheim", true },
        { "\ngeheim\n", 0600, nullptr, false },
        { "", 0600, nullptr, false },
        { std::string("geh\0eim\n", 8), 0600, nullptr, false },
        { std::string(65536, 'x') + "\n", 0600, nullptr, false },
    };
    const auto path = std::filesystem::temp_directory_path()
        / ("movanta-password-" + std::to_string(::getpid()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 40));
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
        ::chmod(path.c_str(), c.mode);
        if (c.password == nullptr) {
            EXPECT_THROW((void)read_mqtt_password(path), std::runtime_error);
            continue;
        }
        const MqttPassword read = read_mqtt_password(path);
        EXPECT_EQ(read.password, c.password);
        EXPECT_EQ(!read.warning.empty(), c.warns) << read.warning;
    }
    std::filesystem::remove(path);
    EXPECT_THROW((void)read_mqtt_password(path), std::runtime_error);
    EXPECT_THROW(
        (void)read_mqtt_password(std::filesystem::temp_directory_path()), std::runtime_error);
}

TEST(RecordQueue, KeepsTheNewestInOrderAndCountsWhatItDrops)
{
    const struct {
        std::size_t capacity;
        int pushed;
        std::size_t kept;
        std::uint64_t dropped;
    } cases[] = { { 5, 3, 3, 0 }, { 5, 5, 5, 0 }, { 5, 12, 5, 7 }, { 0, 2, 1, 1 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pushed);
        RecordQueue queue(c.capacity);
        for (int i = 0; i < c.pushed; ++i)
            queue.push({ static_cast<std::uint8_t>(i), i * 1000 });
        EXPECT_EQ(queue.size(), c.kept);
        EXPECT_EQ(queue.dropped(), c.dropped);
        std::vector<RecordEntry> taken;
        queue.take(taken, 2);
        queue.take(taken, 100);
        ASSERT_EQ(taken.size(), c.kept);
        for (std::size_t i = 0; i < taken.size(); ++i)
            EXPECT_EQ(taken[i].time_us,
                (c.pushed - static_cast<int>(c.kept) + static_cast<int>(i)) * 1000);
        EXPECT_EQ(queue.size(), 0U);
    }
}

} // namespace
