// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct ProcessResult {
    int exit_code = -1; // -1 when it did not exit normally
    std::string output; // stdout and stderr together
};

// Runs program with arguments in folder, with the given variables set (an empty value
// unsets one), and waits for it.
ProcessResult run_process(const std::filesystem::path& program,
    const std::vector<std::string>& arguments, const std::filesystem::path& folder = ".",
    const std::vector<std::pair<std::string, std::string>>& environment = {});

// A fresh folder under the system's temporary folder, removed with the object.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};
