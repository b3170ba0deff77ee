// Root reaching folders by path where another user (uid 65534) controls
// part of the way, and work done as that user in a child process.
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

#include "support/LogTestHome.h"

#include <gtest/gtest.h>

#include <csignal>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using tessal::test::afterFolderMade;

class UserFilesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root";
        char name[] = "/tmp/user_files_test.XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_root = name;
        // <root>/mine (root's), <root>/user (65534's) with user/sub and the
        // link user/out -> mine, and the root's links tosub -> user/sub and tomine -> mine.
        ASSERT_EQ(std::system(("cd '" + m_root + "' && mkdir mine user user/sub && ln -s '" + m_root +
                               "/mine' user/out"
                               " && chown -hR 65534:65534 user && ln -s user/sub tosub && ln -s '" +
                               m_root + "/mine' tomine")
                                  .c_str()),
                  0);
    }
    void TearDown() override
    {
        if (!m_root.empty())
            std::system(("rm -rf '" + m_root + "'").c_str());
    }
    uid_t ownerOf(const std::string& path) const
    {
        struct stat status {};
        return ::lstat((m_root + path).c_str(), &status) == 0 ? status.st_uid : 99999;
    }

    std::string m_root;
};

TEST_F(UserFilesTest, FoldersAreReachedWithoutLinksInOtherUsersFolders)
{
    struct Row {
        const char* path;
        bool create;
        int error; // 0: opened
        bool others; // another user controls part of the way
        const char* made; // a folder made, and its owner
        uid_t madeOwner;
    };
    const Row rows[] = {
        {"/mine", false, 0, false, nullptr, 0},
        {"/tomine", false, 0, false, nullptr, 0}, // a link in root's folder is followed
        {"/user/sub", false, 0, true, nullptr, 0},
        {"/tosub", false, 0, true, nullptr, 0}, // and where it leads counts
        {"/user/out", false, ELOOP, true, nullptr, 0}, // a link in the user's folder is not
        {"/user/out/x", true, ELOOP, true, nullptr, 0},
        {"/user/sub/../../mine", false, EACCES, true, nullptr, 0},
        {"/user/new/deeper", true, 0, true, "/user/new/deeper", 65534},
        {"/mine/new", true, 0, false, "/mine/new", 0},
        {"/user/missing", false, ENOENT, true, nullptr, 0},
    };
    for (const Row& row : rows) {
        FolderFacts facts;
        errno = 0;
        const UniqueFd folder = openFolder(m_root + row.path, row.create, 0700, &facts);
        EXPECT_EQ(folder.get() < 0 ? errno : 0, row.error) << row.path;
        EXPECT_EQ(facts.othersOnTheWay, row.others) << row.path;
        EXPECT_EQ(othersControlPath(m_root + row.path), row.others || row.error == ELOOP) << row.path;
        if (row.made != nullptr) {
            EXPECT_EQ(ownerOf(row.made), row.madeOwner) << row.path;
        }
    }
    EXPECT_EQ(ownerOf("/user/new"), 65534u);

    // A folder swapped for a link right after it is made is neither handed
    // over through the link nor entered.
    afterFolderMade = [&] {
        ASSERT_EQ(std::system(
                      ("cd '" + m_root + "/user' && mv swapped moved && ln -s '" + m_root + "/mine' swapped").c_str()),
                  0);
    };
    errno = 0;
    EXPECT_LT(openFolder(m_root + "/user/swapped", true, 0700).get(), 0);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(ownerOf("/mine"), 0u);
    EXPECT_EQ(ownerOf("/user/moved"), 0u); // never handed over: it was no longer at its name
}

TEST_F(UserFilesTest, ChildBecomesTheUserKeepsOnlyWhatItIsGivenAndReports)
{
    const UniqueFd kept(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Numbered high and never handed: it must not reach the program.
    const UniqueFd dropped(::fcntl(kept.get(), F_DUPFD_CLOEXEC, 200));
    const UserIdentity identity = userIdentity(65534, 65534);
    const struct {
        const UserIdentity* as;
        const char* command;
        bool ran;
        std::string result;
    } rows[] = {
        {&identity, "echo $(id -u) $(id -g) $(id -G)", true, "65534 65534 65534\n"},
        {nullptr, "id -u", true, "0\n"},
        // 0-2, the kept one as 3 and the listing's own.
        {&identity, "exec ls /proc/self/fd", true, "0\n1\n2\n3\n4\n"},
        {nullptr, "printf thrown; exit 1", false, "thrown"},
    };
    for (const auto& row : rows) {
        std::string result;
        EXPECT_EQ(runAsUser(row.as, {"/bin/sh", "-c", row.command}, {kept.get()}, result, 10000), row.ran)
            << row.command;
        EXPECT_EQ(result, row.result);
    }
}

// A program the user stops, or one whose own child the user stops, holds
// root up no longer than its bound: both are killed and the step fails.
TEST_F(UserFilesTest, AStoppedStepFailsAtItsBound)
{
    const UserIdentity identity = userIdentity(65534, 65534);
    for (const char* command : {"kill -STOP $$; echo ran on", "sh -c 'kill -STOP $$'; echo ran on"}) {
        std::string result;
        EXPECT_FALSE(runAsUser(&identity, {"/bin/sh", "-c", command}, {}, result, 500));
        EXPECT_EQ(result, "The child process did not finish within 500 ms");
    }
}

// A login's environment has SHELL and, for root, the sbin folders; what the
// entry lacks has its default, and without an entry there are no names.
TEST(UserEnvironment, BuiltFromTheEntryAndWhatIsHandedOn)
{
    const PasswordEntry root{"root", "/root", "/bin/bash", 0, 0};
    const PasswordEntry bare{"u", "", "", 1000, 1000};
    const std::string path = "PATH=/usr/local/bin:/usr/bin:/bin";
    const struct {
        const PasswordEntry* entry;
        bool login;
        std::vector<std::string> expected;
    } rows[] = {
        {&root,
         true,
         {"PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", "HOME=/root", "USER=root",
          "LOGNAME=root", "SHELL=/bin/bash", "DISPLAY=:1"}},
        {&root, false, {path, "HOME=/root", "USER=root", "LOGNAME=root", "DISPLAY=:1"}},
        {&bare, true, {path, "HOME=/", "USER=u", "LOGNAME=u", "SHELL=/bin/sh", "DISPLAY=:1"}},
        {nullptr, true, {path, "DISPLAY=:1"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(buildUserEnvironment(row.entry, {"DISPLAY=:1"}, row.login), row.expected);
}

} // namespace
