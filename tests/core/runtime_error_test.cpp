// SPDX-License-Identifier: MIT
#include "core/runtime_error.h"

#include <gtest/gtest.h>

#include <string>

using namespace core;

TEST(RuntimeError, EachKindSaysWhatHappened)
{
    EXPECT_STREQ(RuntimeError::overflow().what(), "Überlauf");
    EXPECT_EQ(RuntimeError::overflow().number(), 6);
    EXPECT_STREQ(RuntimeError::invalid_property_value().what(), "Ungültiger Eigenschaftswert");
    EXPECT_EQ(RuntimeError::invalid_property_value().number(), 380);

    const auto missing = RuntimeError::library_not_found("libdlportio.so", "cannot open");
    EXPECT_EQ(missing.kind(), RuntimeError::Kind::LibraryNotFound);
    EXPECT_NE(std::string(missing.what()).find("libdlportio.so"), std::string::npos);
    EXPECT_NE(std::string(missing.what()).find("cannot open"), std::string::npos);

    const auto entry = RuntimeError::entry_point_not_found("DlPortWritePortUchar", "libdlportio.so");
    EXPECT_NE(std::string(entry.what()).find("DlPortWritePortUchar"), std::string::npos);
    EXPECT_NE(std::string(entry.what()).find("libdlportio.so"), std::string::npos);

    const auto port = RuntimeError::port_access_failed("/dev/port: Permission denied");
    EXPECT_EQ(port.kind(), RuntimeError::Kind::PortAccessFailed);
    EXPECT_NE(std::string(port.what()).find("/dev/port: Permission denied"), std::string::npos);
}

TEST(RuntimeError, IsCaughtAsAStandardException)
{
    try {
        throw RuntimeError::overflow();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Überlauf");
    }
}
