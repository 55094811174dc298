// SPDX-License-Identifier: MIT
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

int run_tests(int argc, char* argv[])
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace

int main(int argc, char* argv[])
{
    // gtest_discover_tests runs this binary at build time without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Qt warns without a runtime folder of its own; mkdtemp makes it mode 0700.
    std::string runtime_dir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        std::string folder
            = (std::filesystem::temp_directory_path() / "movanta-test-XXXXXX").string();
        if (mkdtemp(folder.data()) != nullptr) {
            runtime_dir = folder;
            qputenv("XDG_RUNTIME_DIR", runtime_dir.c_str());
        }
    }

    const int result = run_tests(argc, argv);
    if (!runtime_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtime_dir, ignored);
    }
    return result;
}
