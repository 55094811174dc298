// The program refuses to run with raised privileges, before it opens any window.
#include "run_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

TEST(Privileges, TheProgramRefusesToRunSetuidOrSetgid)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the copy to another user needs root";
    struct Case {
        const char* name;
        uid_t owner;
        gid_t group;
        mode_t mode;
    };
    for (const Case& c : { Case { "setuid", 65534, 0, 04755 }, Case { "setgid", 0, 65534, 02755 } }) {
        SCOPED_TRACE(c.name);
        const TemporaryFolder folder;
        // Traversable by the other user, so that the loader can map the program.
        std::filesystem::permissions(folder.path(), std::filesystem::perms(0755));
        const std::filesystem::path copy = folder.path() / "movanta";
        std::filesystem::copy_file(MOVANTA_PROGRAM, copy);
        ASSERT_EQ(chown(copy.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(chmod(copy.c_str(), c.mode), 0);

        // timeout: should the refusal fail, the program would otherwise poll for ever.
        const ProcessResult result = run_process(
            "/usr/bin/timeout", { "10", copy.string() }, ".", { { "QT_QPA_PLATFORM", "offscreen" } });
        EXPECT_EQ(result.exit_code, 1) << result.output;
        EXPECT_EQ(result.output, "movanta: refusing to run setuid or setgid\n");
    }
}
