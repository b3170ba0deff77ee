// The per-user lock folder: the runtime folder when it is the user's own,
// else "/.TessalNetworks" in the home folder. A folder of another user (a run
// with root's credentials) or one that others may write to is never used.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "foundation/UserLockFile.h"
#include "support/LogTestHome.h"

namespace {

bool exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

TEST(UserLockFile, LivesOnlyInAFolderOfTheUsersOwn)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a folder to another user";
    tessal::test::TempHome home;
    tessal::test::TempHome runtime;  // a second temporary folder; HOME is set back below
    home.setHome(home.path());
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = oldRuntime != nullptr ? oldRuntime : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);

    const struct {
        const char* name;
        mode_t mode;
        uid_t owner;
        bool inRuntime;
    } rows[] = {{"own", 0700, 0, true}, {"another user's", 0700, 65534, false}, {"group-writable", 0770, 0, false}};
    for (const auto& row : rows) {
        ASSERT_EQ(::chown(runtime.path().c_str(), row.owner, row.owner), 0);
        ASSERT_EQ(::chmod(runtime.path().c_str(), row.mode), 0);
        {
            UUserLockFile lock("probe.lock");
            ASSERT_TRUE(lock.tryLock()) << row.name << ": " << lock.error();
            UUserLockFile second("probe.lock");
            EXPECT_FALSE(second.tryLock()) << row.name;
        }
        EXPECT_EQ(exists(runtime.path() + "/probe.lock"), row.inRuntime) << row.name;
        EXPECT_EQ(exists(home.settingsFolder() + "/probe.lock"), !row.inRuntime) << row.name;
        ::unlink((home.settingsFolder() + "/probe.lock").c_str());
        ::chown(runtime.path().c_str(), 0, 0);
        ::unlink((runtime.path() + "/probe.lock").c_str());
    }
    struct stat info {};
    ASSERT_EQ(::stat(home.settingsFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    if (oldRuntime != nullptr)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
