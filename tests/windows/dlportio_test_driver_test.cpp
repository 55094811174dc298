// SPDX-License-Identifier: MIT
// The stand-in dlportio.dll as the port binding meets it: found by file name beside the
// program, entry points under their plain names, and the port space it promises.
#include "port/dlportio.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

namespace {

using ReadFn = DlPortReadPortUcharFn;
using WriteFn = DlPortWritePortUcharFn;
using LastErrorFn = DlPortLastErrorFn;

class TestDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = LoadLibraryA("dlportio.dll");
        ASSERT_NE(library, nullptr) << "dlportio.dll not found, error " << GetLastError();
        read = entry<ReadFn>("DlPortReadPortUchar");
        write = entry<WriteFn>("DlPortWritePortUchar");
        last_error = entry<LastErrorFn>("DlPortLastError");
        ASSERT_NE(read, nullptr);
        ASSERT_NE(write, nullptr);
        ASSERT_NE(last_error, nullptr);
    }

    // Through void*, as GetProcAddress's FARPROC fits no real signature.
    template <typename Fn>
    Fn entry(const char* name)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    }

    HMODULE library = nullptr;
    ReadFn read = nullptr;
    WriteFn write = nullptr;
    LastErrorFn last_error = nullptr;
};

TEST_F(TestDriver, ReadsBackWhatWasWrittenPortByPort)
{
    write(888, 255);
    write(889, 0x5a);
    EXPECT_EQ(read(888), 255);
    EXPECT_EQ(read(889), 0x5a);
    EXPECT_EQ(read(890), 0);
    EXPECT_STREQ(last_error(), "");
    write(888, 0);
    EXPECT_EQ(read(888), 0);
}

TEST_F(TestDriver, AddressesOutsideTheIoSpaceReadAnEmptyBus)
{
    struct Row {
        std::int32_t port;
        const char* error;
    };
    const Row rows[] = {
        { 0, "" },
        { 65535, "" },
        { 65536, "port 65536 outside 0..65535" },
        { -1, "port 4294967295 outside 0..65535" },
    };
    for (const Row& row : rows) {
        // The binding passes the 32-bit number as it is; a negative one arrives as its pattern.
        const auto port = static_cast<unsigned long>(static_cast<std::uint32_t>(row.port));
        write(port, 7);
        EXPECT_STREQ(last_error(), row.error) << row.port;
        EXPECT_EQ(read(port), std::string(row.error).empty() ? 7 : 255) << row.port;
    }
}

} // namespace
