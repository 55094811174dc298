// SPDX-License-Identifier: MIT
// The port binding on Windows: LoadLibrary's search, GetProcAddress, and the system's reasons
// in the errors, against the stand-in dlportio.dll beside the test program.
#include "core/runtime_error.h"
#include "port/port_binding.h"
#include "port/port_io.h"
#include "runtime_error_of.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace core;
using namespace port;

namespace {

TEST(PortIoOnWindows, ReachesDlportioDllBesideTheProgram)
{
    port_io::write(888, 0xA5);
    EXPECT_EQ(port_io::read(888), 0xA5);
    port_io::write(888, 255);
    EXPECT_EQ(port_io::read(888), 255);
    EXPECT_NE(GetModuleHandleA("dlportio.dll"), nullptr);
}

TEST(PortIoOnWindows, DriverComplaintBecomesAPortAccessError)
{
    const RuntimeError error = runtime_error_of([] { (void)port_io::read(65536); });
    EXPECT_EQ(error.kind(), RuntimeError::Kind::PortAccessFailed);
    EXPECT_NE(std::string(error.what()).find("port 65536 outside 0..65535"), std::string::npos)
        << error.what();
}

TEST(PortBindingOnWindows, LoadsTheLibraryAtTheFirstCallOnly)
{
    // A copy under a name nothing else in this process loads.
    PortBinding binding("dlportio_lazy.dll");
    EXPECT_EQ(GetModuleHandleA("dlportio_lazy.dll"), nullptr);
    binding.write(5, 0x5A);
    EXPECT_NE(GetModuleHandleA("dlportio_lazy.dll"), nullptr);
    EXPECT_EQ(binding.read(5), 0x5A);
}

TEST(PortBindingOnWindows, MissingLibraryOrEntryPointNamesIt)
{
    struct Row {
        const char* library;
        RuntimeError::Kind kind;
        const char* named;
    };
    const Row rows[] = {
        { "dlportio-not-installed.dll", RuntimeError::Kind::LibraryNotFound,
            "dlportio-not-installed.dll" },
        // A library that loads but has no port entry points.
        { "kernel32.dll", RuntimeError::Kind::EntryPointNotFound, "DlPortReadPortUchar" },
    };
    for (const Row& row : rows) {
        PortBinding binding(row.library);
        const RuntimeError error = runtime_error_of([&] { (void)binding.read(888); });
        EXPECT_EQ(error.kind(), row.kind) << row.library;
        EXPECT_NE(std::string(error.what()).find(row.named), std::string::npos) << error.what();
    }
}

} // namespace
