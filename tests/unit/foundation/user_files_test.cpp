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
    // Numbered high, so that nothing the step opens takes its number.
    const UniqueFd dropped(::fcntl(kept.get(), F_DUPFD_CLOEXEC, 200));
    const UserIdentity identity = userIdentity(65534, 65534);
    // The step's own descriptors: how many, and whether the kept and the
    // dropped one are among them.
    const std::string keptFd = std::to_string(kept.get()), droppedFd = std::to_string(dropped.get());
    const auto descriptors = [&] {
        std::string fds = " ";
        int count = 0;
        DIR* dir = ::opendir("/proc/self/fd");
        for (const dirent* entry; dir != nullptr && (entry = ::readdir(dir)) != nullptr;) {
            if (entry->d_name[0] != '.') {
                fds += std::string(entry->d_name) + " ";
                ++count;
            }
        }
        if (dir != nullptr)
            ::closedir(dir);
        return std::to_string(count) + (fds.find(" " + keptFd + " ") != std::string::npos ? " kept" : "") +
               (fds.find(" " + droppedFd + " ") != std::string::npos ? " dropped" : "");
    };
    struct Row {
        const UserIdentity* as;
        std::function<std::string()> step;
        bool ran;
        std::string result;
    };
    const Row rows[] = {
        {&identity, [] { return std::to_string(::geteuid()) + " " + std::to_string(::getegid()); }, true,
         "65534 65534"},
        {nullptr, [] { return std::to_string(::geteuid()); }, true, "0"},
        // 0-2 on /dev/null, the kept one, the result pipe and the listing's own.
        {&identity, descriptors, true, "6 kept"},
        {nullptr, []() -> std::string { throw std::runtime_error("thrown"); }, false, "thrown"},
    };
    for (const Row& row : rows) {
        std::string result;
        EXPECT_EQ(runInChild(row.as, {kept.get()}, row.step, result, 10000), row.ran) << row.result;
        EXPECT_EQ(result, row.result);
    }
}

// A step the user stops, or one whose own child the user stops, holds root
// up no longer than its bound: both are killed and the step fails.
TEST_F(UserFilesTest, AStoppedStepFailsAtItsBound)
{
    const UserIdentity identity = userIdentity(65534, 65534);
    const std::function<std::string()> steps[] = {
        [] {
            ::raise(SIGSTOP);
            return std::string("ran on");
        },
        [] {
            ChildStart start;
            start.args = {"/bin/sh", "-c", "kill -STOP $$"};
            start.waitMs = 60000;
            return std::to_string(startProcess(start).timedOut);
        },
    };
    for (const auto& step : steps) {
        std::string result;
        EXPECT_FALSE(runInChild(&identity, {}, step, result, 500));
        EXPECT_EQ(result, "The child process did not finish within 500 ms");
    }
}

} // namespace
