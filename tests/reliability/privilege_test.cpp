// SPDX-License-Identifier: MIT
// The program refuses to run with raised privileges, before it opens any window.
#include "run_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct RaisedCopy {
    const char* name;
    uid_t owner;
    gid_t group;
    mode_t mode;
    const char* capability; // given to the file with setcap; the copy then runs as nobody
    const char* refusal;
};

} // namespace

TEST(Privileges, TheProgramRefusesToRunSetuidSetgidOrWithFileCapabilities)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the copy to another user needs root";
    const std::vector<RaisedCopy> cases {
        { "setuid", 65534, 0, 04755, nullptr, "movanta: refusing to run setuid or setgid\n" },
        { "setgid", 0, 65534, 02755, nullptr, "movanta: refusing to run setuid or setgid\n" },
        { "file capability", 0, 0, 0755, "cap_sys_rawio+ep",
            "movanta: refusing to run with raised privileges (file capabilities)\n" },
    };
    for (const RaisedCopy& c : cases) {
        SCOPED_TRACE(c.name);
        const TemporaryFolder folder;
        // Traversable by the other user, so that the loader can map the program.
        fs::permissions(folder.path(), fs::perms(0755));
        const fs::path copy = folder.path() / "movanta";
        fs::copy_file(MOVANTA_PROGRAM, copy);
        ASSERT_EQ(chown(copy.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(chmod(copy.c_str(), c.mode), 0);

        // timeout: should the refusal fail, the program would otherwise run for ever.
        std::vector<std::string> command { "/usr/bin/timeout", "10", copy.string() };
        if (c.capability != nullptr) {
            if (!fs::exists("/usr/sbin/setcap") || !fs::exists("/usr/bin/setpriv"))
                GTEST_SKIP() << "setcap (libcap2-bin) and setpriv (util-linux) are needed";
            const ProcessResult given = run_process("/usr/sbin/setcap", { c.capability, copy });
            ASSERT_EQ(given.exit_code, 0) << given.output;
            command.insert(command.begin(),
                { "/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" });
        }
        const ProcessResult result
            = run_process(command.front(), { command.begin() + 1, command.end() }, folder.path(),
                { { "QT_QPA_PLATFORM", "offscreen" } });
        EXPECT_EQ(result.exit_code, 1) << result.output;
        // The refusal is the first line. A sanitized build adds LeakSanitizer's complaint that
        // it cannot look into a process the kernel made undumpable; that process cannot even
        // read its own environment, so ASAN_OPTIONS cannot turn the check off.
        EXPECT_EQ(result.output.substr(0, result.output.find('\n') + 1), c.refusal)
            << result.output;
    }
}
