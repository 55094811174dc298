// SPDX-License-Identifier: MIT
// The main of every widget benchmark: an offscreen QApplication around Google Benchmark.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char* argv[])
{
    // Offscreen, so that nothing reaches a screen and no display is needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string runtime_dir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        std::string folder
            = (std::filesystem::temp_directory_path() / "movanta-bench-XXXXXX").string();
        if (mkdtemp(folder.data()) != nullptr) {
            runtime_dir = folder;
            qputenv("XDG_RUNTIME_DIR", runtime_dir.c_str());
        }
    }

    int result = 0;
    {
        QApplication app(argc, argv);
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            result = 1;
        else
            benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    if (!runtime_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtime_dir, ignored);
    }
    return result;
}
