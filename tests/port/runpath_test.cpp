// SPDX-License-Identifier: MIT
// Which libdlportio.so an executable with the driver RUNPATH loads, from where.
#include "run_process.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

std::string loaded_driver(const ProcessResult& result)
{
    const auto at = result.output.find("loaded ");
    if (at == std::string::npos)
        return {};
    return result.output.substr(at + 7, result.output.find('\n', at) - at - 7);
}

// A folder holding the bogus driver, to run from.
struct PlantedFolder {
    TemporaryFolder folder;
    PlantedFolder() { fs::copy_file(BOGUS_DRIVER, folder.path() / "libdlportio.so"); }
};

} // namespace

TEST(DriverRunpath, TheBuildTreeExecutableFindsTheHardwareDriver)
{
    const PlantedFolder planted;
    const ProcessResult result
        = run_process(RUNPATH_PROBE, {}, planted.folder.path(), { { "LD_LIBRARY_PATH", "" } });
    ASSERT_EQ(result.exit_code, 0) << result.output;
    EXPECT_EQ(fs::canonical(loaded_driver(result)), fs::canonical(HARDWARE_DRIVER))
        << result.output;
    // The hardware driver's own answer for a port beyond 65535.
    EXPECT_NE(result.output.find("outside the I/O space"), std::string::npos) << result.output;
}

TEST(DriverRunpath, LdLibraryPathSelectsTheSimulator)
{
    const PlantedFolder planted;
    const std::string simulator_folder = fs::path(SIMULATOR_DRIVER).parent_path().string();
    const ProcessResult result = run_process(
        RUNPATH_PROBE, {}, planted.folder.path(), { { "LD_LIBRARY_PATH", simulator_folder } });
    EXPECT_EQ(fs::canonical(loaded_driver(result)), fs::canonical(SIMULATOR_DRIVER))
        << result.output;
}

TEST(DriverRunpath, ACopyRunFromAFolderWithABogusDriverNeverLoadsIt)
{
    const PlantedFolder planted;
    const fs::path bin = planted.folder.path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(RUNPATH_PROBE, bin / "probe");
    fs::copy_file(BOGUS_DRIVER, bin / "libdlportio.so");

    // No lib/movanta next to the copy: not found, though bogus drivers lie in reach.
    for (const fs::path& folder : { planted.folder.path(), bin }) {
        const ProcessResult result
            = run_process(bin / "probe", {}, folder, { { "LD_LIBRARY_PATH", "" } });
        ASSERT_EQ(result.exit_code, 0) << result.output;
        EXPECT_NE(result.output.find("error 53 "), std::string::npos) << result.output;
        EXPECT_EQ(loaded_driver(result), "") << result.output;
    }

    // The RUNPATH is relative to the executable: a driver in the copy's lib/movanta is found.
    const fs::path beside = planted.folder.path() / "lib/movanta";
    fs::create_directories(beside);
    fs::copy_file(HARDWARE_DRIVER, beside / "libdlportio.so");
    const ProcessResult result = run_process(bin / "probe", {}, bin, { { "LD_LIBRARY_PATH", "" } });
    EXPECT_EQ(fs::canonical(loaded_driver(result)), fs::canonical(beside / "libdlportio.so"))
        << result.output;
}
