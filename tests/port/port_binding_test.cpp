// SPDX-License-Identifier: MIT
#include "core/runtime_error.h"
#include "port/port_binding.h"
#include "runtime_error_of.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string>

using namespace core;
using namespace port;

namespace {

bool is_loaded(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

} // namespace

TEST(PortBinding, MissingLibraryIsAnErrorNamingIt)
{
    PortBinding binding("libdlportio-not-installed.so");
    const RuntimeError error = runtime_error_of([&] { (void)binding.read(888); });
    EXPECT_EQ(error.kind(), RuntimeError::Kind::LibraryNotFound);
    const std::string text = error.what();
    EXPECT_NE(text.find("libdlportio-not-installed.so"), std::string::npos) << text;
    // The system's reason comes with it.
    EXPECT_NE(text.find("cannot open shared object file"), std::string::npos) << text;
}

TEST(PortBinding, LoadsTheLibraryAtTheFirstCallOnlyAndOnce)
{
    PortBinding binding(TEST_DRIVER_FULL);
    EXPECT_FALSE(is_loaded(TEST_DRIVER_FULL));
    binding.write(5, 0xA5);
    ASSERT_TRUE(is_loaded(TEST_DRIVER_FULL));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(binding.read(5), 0xA5);
    binding.write(5, 0x5A);
    EXPECT_EQ(binding.read(5), 0x5A);

    // The binding holds exactly one reference: dropping one more than ours unloads it.
    void* handle = dlopen(TEST_DRIVER_FULL, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    dlclose(handle);
    dlclose(handle);
    EXPECT_FALSE(is_loaded(TEST_DRIVER_FULL));
}

TEST(PortBinding, PassesThePortNumberAsItIs)
{
    PortBinding binding(TEST_DRIVER_FULL);
    (void)binding.read(70000);
    void* handle = dlopen(TEST_DRIVER_FULL, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    const auto last_port
        = reinterpret_cast<unsigned long (*)()>(dlsym(handle, "test_driver_last_port"));
    ASSERT_NE(last_port, nullptr);
    EXPECT_EQ(last_port(), 70000u);
    (void)binding.read(-1);
    EXPECT_EQ(last_port(), 4294967295u);
    binding.write(-2147483647 - 1, 255);
    EXPECT_EQ(last_port(), 2147483648u);
    dlclose(handle);
}

TEST(PortBinding, ReadsWorkWithoutTheWriteEntryPointUntilTheFirstWrite)
{
    PortBinding binding(TEST_DRIVER_READ_ONLY);
    EXPECT_EQ(binding.read(0), 0x5A);
    const RuntimeError error = runtime_error_of([&] { binding.write(0, 255); });
    EXPECT_EQ(error.kind(), RuntimeError::Kind::EntryPointNotFound);
    const std::string text = error.what();
    EXPECT_NE(text.find("DlPortWritePortUchar"), std::string::npos) << text;
    EXPECT_NE(text.find(TEST_DRIVER_READ_ONLY), std::string::npos) << text;
    EXPECT_EQ(binding.read(0), 0x5A);
}

TEST(PortBinding, TheDriversReasonBecomesAPortAccessError)
{
    PortBinding binding(TEST_DRIVER_FULL);
    for (const bool writing : { false, true }) {
        const RuntimeError error = runtime_error_of([&] {
            if (writing)
                binding.write(666, 255);
            else
                (void)binding.read(666);
        });
        EXPECT_EQ(error.kind(), RuntimeError::Kind::PortAccessFailed);
        EXPECT_NE(std::string(error.what()).find("port 666 is unlucky"), std::string::npos)
            << error.what();
    }
    // The reason belongs to the failed call only.
    EXPECT_NO_THROW((void)binding.read(1));
}

TEST(PortBinding, ALibraryWithoutLastErrorWorks)
{
    PortBinding binding(TEST_DRIVER_NO_LAST_ERROR);
    binding.write(666, 0x33);
    EXPECT_EQ(binding.read(666), 0x33);
}
