// The per-user lock folder: the runtime folder when it is the user's own,
// else "/.TessalNetworks" in the home folder. A folder of another user (a run
// with root's credentials) or one that others may write to is never used.

#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
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
    tessal::test::TempHome runtime; // a second temporary folder; HOME is set back below
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

// Read-only tmpfs over the runtime folder (a mount namespace of its own:
// only root, only in a child).
bool readOnly(const std::string& folder)
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", folder.c_str(), "tmpfs", MS_RDONLY, "mode=0700") == 0;
}

// No runtime folder, and the home folders (HOME's and the user's own entry)
// read-only: no folder takes the file.
bool noFolderAtAll(const std::string&)
{
    const passwd* own = ::getpwuid(::geteuid());
    ::unsetenv("XDG_RUNTIME_DIR");
    return own != nullptr && readOnly(std::getenv("HOME")) &&
           ::mount("tmpfs", own->pw_dir, "tmpfs", MS_RDONLY, "mode=0700") == 0;
}

// As noFolderAtAll, with user nobody holding the socket's name first; it
// goes with the child.
bool nameTakenByNobody(const std::string& folder)
{
    int ready[2];
    if (!noFolderAtAll(folder) || ::pipe(ready) != 0)
        return false;
    if (::fork() == 0) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = "tessalvpn-" + std::to_string(::geteuid()) + "-probe.lock";
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        // Set after the identity changes, which clears it.
        const bool bound = ::setgid(65534) == 0 && ::setuid(65534) == 0 && ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 &&
                           ::bind(fd, reinterpret_cast<sockaddr*>(&address),
                                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0 &&
                           ::listen(fd, 4) == 0;
        const char answer = bound ? 'y' : 'n';
        if (::write(ready[1], &answer, 1) == 1 && bound)
            ::pause();
        ::_exit(0);
    }
    char answer = 'n';
    return ::read(ready[0], &answer, 1) == 1 && answer == 'y';
}

// A runtime folder where the lock file cannot be made hands the lock to the
// next folder; both locks of the user still exclude each other there. With no
// folder at all, a lock that may fall back to the user's socket is still had,
// and a socket name another user holds first is known as such, not waited for.
TEST(UserLockFile, FallsBackWhenTheRuntimeFolderTakesNoFile)
{
    tessal::test::TempHome home;
    tessal::test::TempHome runtime;
    home.setHome(home.path());
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = oldRuntime != nullptr ? oldRuntime : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    const bool root = ::geteuid() == 0;
    enum class Lands { InHome, OnSocket, Refused };
    const struct {
        const char* name;
        bool applies;
        // Run in a child, which makes the folder so and tries both locks.
        bool (*make)(const std::string& folder);
        Lands lands;
    } rows[] = {
        // Root writes in any folder whatever its mode.
        {"no write permission", !root, [](const std::string& folder) { return ::chmod(folder.c_str(), 0500) == 0; },
         Lands::InHome},
        // Only root can mount, and only in a mount namespace of its own.
        {"read-only file system", root, readOnly, Lands::InHome},
        {"no folder at all", root, noFolderAtAll, Lands::OnSocket},
        {"socket name taken by another user", root, nameTakenByNobody, Lands::Refused},
    };
    for (const auto& row : rows) {
        if (!row.applies)
            continue;
        const pid_t child = ::fork();
        if (child == 0) {
            if (!row.make(runtime.path()))
                ::_exit(2);
            UUserLockFile lock("probe.lock", UUserLockFile::Fallback::UserSocket);
            UUserLockFile second("probe.lock", UUserLockFile::Fallback::UserSocket);
            const bool held = lock.tryLock() && !second.tryLock() && !second.takenByAnotherUser();
            bool landed = false;
            switch (row.lands) {
            case Lands::InHome: landed = held && exists(home.settingsFolder() + "/probe.lock"); break;
            case Lands::OnSocket: landed = held && lock.folder() < 0 && (lock.unlock(), second.tryLock()); break;
            case Lands::Refused: landed = !lock.tryLock() && lock.takenByAnotherUser() && lock.isUsable(); break;
            }
            ::_exit(landed ? 0 : 1);
        }
        ASSERT_GT(child, 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.name << ": status " << status;
        ::chmod(runtime.path().c_str(), 0700);
        EXPECT_FALSE(exists(runtime.path() + "/probe.lock")) << row.name;
        ::unlink((home.settingsFolder() + "/probe.lock").c_str());
    }
    if (oldRuntime != nullptr)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
