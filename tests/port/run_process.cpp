// SPDX-License-Identifier: MIT
#include "run_process.h"

#include <cstdlib>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

ProcessResult run_process(const std::filesystem::path& program,
    const std::vector<std::string>& arguments, const std::filesystem::path& folder,
    const std::vector<std::pair<std::string, std::string>>& environment)
{
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], 1);
        dup2(pipe_ends[1], 2);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        for (const auto& [name, value] : environment) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv { const_cast<char*>(program.c_str()) };
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    ProcessResult result;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<std::size_t>(got));
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    return result;
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "movanta-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
