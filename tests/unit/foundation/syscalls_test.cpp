// System-call wrappers, the system banner and the URI default ports.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ChildState.h"
#include "foundation/UException.h"
#include "foundation/Uri.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

namespace {

std::string s(const CString& text)
{
    return std::string(static_cast<const char*>(text), static_cast<size_t>(text.GetLength()));
}

struct TempFolder {
    TempFolder()
    {
        char name[] = "/tmp/tessal-sys-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempFolder() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string file(const char* name) const { return path + "/" + name; }
    std::string path;
};

struct stat statOf(mode_t mode, uid_t uid, gid_t gid)
{
    struct stat info {};
    info.st_mode = mode;
    info.st_uid = uid;
    info.st_gid = gid;
    return info;
}

} // namespace

TEST(SysUri, DefaultPorts)
{
    EXPECT_EQ(Uri::getDefaultPort("HTTPS").code, 2);
    EXPECT_EQ(Uri::getDefaultPort("HTTPS").port, 443);
    EXPECT_EQ(Uri::getDefaultPort("http").port, 80);
    EXPECT_EQ(Uri::getDefaultPort("Ftp").port, 21);
    EXPECT_EQ(Uri::getDefaultPort("file").port, 0);
    unsigned short port = Uri::getDefaultPort("http");
    EXPECT_EQ(port, 80);
    try {
        Uri::getDefaultPort("gopher");
        FAIL() << "no exception";
    } catch (const UException& e) {
        ASSERT_NE(e.what(), nullptr);
        EXPECT_STREQ(e.what(), "EXCEPTION - Unknown scheme: 'gopher'");
        EXPECT_EQ(e.getCode(), -1);
        EXPECT_EQ(e.getLine(), 108);
    }
    EXPECT_THROW(Uri::getDefaultPort(nullptr), UException);
}

TEST(SysFiles, TestsAndResults)
{
    TempFolder folder;
    std::string file = folder.file("f");
    std::string link = folder.file("l");
    std::string fifo = folder.file("p");
    std::string missing = folder.file("missing");
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    EXPECT_TRUE(isSymbolicLink(link.c_str()));
    EXPECT_FALSE(isSymbolicLink(file.c_str()));
    EXPECT_TRUE(isDirectory(folder.path.c_str()));
    EXPECT_FALSE(isDirectory(file.c_str()));
    EXPECT_FALSE(isDirectory("/dev/null"));
    EXPECT_TRUE(existsNotFifo(file.c_str()));
    EXPECT_FALSE(existsNotFifo(fifo.c_str()));
    EXPECT_FALSE(existsNotFifo(missing.c_str()));
    EXPECT_EQ(fileMode(missing.c_str()), 0xFFFFFFFFu);
    EXPECT_EQ(modificationTime(missing.c_str()), 0);
    EXPECT_GT(modificationTime(file.c_str()), 0);
    EXPECT_TRUE(isAccessible(file.c_str(), F_OK));
    EXPECT_FALSE(isAccessible(missing.c_str(), F_OK));

    EXPECT_EQ(changeMode(file.c_str(), 0640), 0);
    EXPECT_EQ(fileMode(file.c_str()) & 07777, 0640u);
    std::string dir = folder.file("d");
    EXPECT_EQ(makeDirectory(dir.c_str(), 0700), 0);
    EXPECT_EQ(makeDirectory(dir.c_str(), 0700), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(removeDirectory(dir.c_str()), 0);
    std::string moved = folder.file("g");
    EXPECT_EQ(renameFile(file.c_str(), moved.c_str()), 0);
    EXPECT_EQ(removeFile(moved.c_str()), 0);
    EXPECT_EQ(removeFile(moved.c_str()), -1);
}

TEST(SysFiles, ExecutableBitsByRole)
{
    uid_t me = geteuid();
    gid_t myGroup = getegid();
    uid_t other = me + 1000;
    gid_t otherGroup = myGroup + 1000;

    EXPECT_FALSE(isExecutableFile(statOf(S_IFDIR | 0777, me, myGroup)));
    if (me == 0) {
        EXPECT_TRUE(isExecutableFile(statOf(S_IFREG | 0001, other, otherGroup)));
        EXPECT_TRUE(isExecutableFile(statOf(S_IFREG | 0010, other, otherGroup)));
        EXPECT_FALSE(isExecutableFile(statOf(S_IFREG | 0666, other, otherGroup)));
        return;
    }
    struct Case {
        mode_t mode;
        uid_t uid;
        gid_t gid;
        bool expected;
    };
    const Case cases[] = {
        {0700, me, otherGroup, true},    {0077, me, otherGroup, false}, // the owner's bit decides for the owner
        {0070, other, myGroup, true},    {0707, other, myGroup, false}, // the group's for the group
        {0001, other, otherGroup, true}, {0770, other, otherGroup, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isExecutableFile(statOf(S_IFREG | c.mode, c.uid, c.gid)), c.expected) << std::oct << c.mode;
}

TEST(SysFiles, ExecutableBitsAsAnotherUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to another user; covered by ExecutableBitsByRole";
    // As uid/gid 65534 in a child: the owner, group and others rules.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        bool ok =
            isExecutableFile(statOf(S_IFREG | 0700, 65534, 1)) && !isExecutableFile(statOf(S_IFREG | 0077, 65534, 1)) &&
            isExecutableFile(statOf(S_IFREG | 0070, 1, 65534)) && !isExecutableFile(statOf(S_IFREG | 0707, 1, 65534)) &&
            isExecutableFile(statOf(S_IFREG | 0001, 1, 1)) && !isExecutableFile(statOf(S_IFREG | 0770, 1, 1));
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SysProcess, BannerAndNames)
{
    struct utsname names {};
    ASSERT_EQ(uname(&names), 0);
    std::string rule(74, '=');
    std::string expected = rule + "\nKernel version: " + names.version + "\nSystem: " + names.sysname +
                           "\nRelease: " + names.release + "\nModel: " + names.machine +
                           "\nNode name: " + names.nodename + "\n" + rule + "\n";
    EXPECT_EQ(s(systemBanner()), expected);
    CString out("old");
    systemBanner(out);
    EXPECT_EQ(s(out), expected);
    EXPECT_EQ(s(kernelRelease()), names.release);

    char buffer[256];
    size_t size = sizeof(buffer);
    EXPECT_EQ(hostName(buffer, size), 1);
    EXPECT_EQ(size, std::strlen(buffer));
    EXPECT_EQ(s(hostAddress("127.0.0.1")), "127.0.0.1");
    EXPECT_GT(currentTime(), 0);
    EXPECT_EQ(s(intText(-42)), "-42");
}

// The executable path: a 2000-byte buffer grows by 10000 while the link fills
// it, ten tries at most; a failed read and a path too long have their texts.
size_t g_linkLength = 0; // 0: the read fails
std::vector<size_t> g_linkBuffers; // buffer sizes offered
ssize_t fakeLink(char* buffer, size_t size)
{
    g_linkBuffers.push_back(size);
    errno = ENOENT;
    std::memset(buffer, '/', std::min(size, g_linkLength));
    return g_linkLength == 0 ? -1 : static_cast<ssize_t>(std::min(size, g_linkLength));
}

TEST(SysProcess, ModulePathBufferGrowsAndItsFailuresHaveTheirTexts)
{
    const struct {
        size_t length, tries;
        std::string error;
    } rows[] = {{1998, 1, ""},
                {1999, 2, ""},
                {91998, 10, ""},
                {91999, 10, "EXCEPTION - path is too big (allocated memory), 92000"},
                {0, 1, "EXCEPTION - GetModuleFileName() error , 2"}};
    for (const auto& row : rows) {
        g_linkLength = row.length;
        g_linkBuffers.clear();
        std::string error;
        try {
            EXPECT_EQ(SGetModuleFileName(&fakeLink).GetLength(), static_cast<int>(row.length));
        } catch (const UException& e) {
            error = e.what();
        }
        EXPECT_EQ(error, row.error) << row.length;
        EXPECT_EQ(g_linkBuffers.size(), row.tries) << row.length;
        EXPECT_EQ(g_linkBuffers.back(), 2000 + 10000 * (row.tries - 1)) << row.length;
    }
}

TEST(SysProcess, ParseLong)
{
    EXPECT_EQ(parseLong("0x1F"), 31);
    EXPECT_EQ(parseLong("010"), 8);
    EXPECT_EQ(parseLong("-12"), -12);
    EXPECT_EQ(parseLong("abc"), 0);
}

TEST(SysProcess, HttpDate)
{
    EXPECT_STREQ(formatHttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_STREQ(formatHttpDate(1700000000), "Tue, 14 Nov 2023 22:13:20 GMT");
}

TEST(SysProcess, ShellCommandAndReaping)
{
    // Nothing to reap in a process without children.
    while (!reapChild().IsEmpty()) {
    }
    EXPECT_EQ(s(reapChild()), "");

    TempFolder folder;
    std::string marker = folder.file("ran");
    // The shell is started as "sh": what it runs sees that as $0.
    pid_t pid = runShellCommand(("echo \"$0\" > '" + marker + "'").c_str());
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    std::string zero;
    std::getline(std::ifstream(marker), zero);
    EXPECT_EQ(zero, "sh");

    pid = runShellCommand("exit 3");
    ASSERT_GT(pid, 0);
    std::string reaped;
    for (int i = 0; i < 500 && reaped.empty(); ++i) {
        reaped = s(reapChild());
        if (reaped.empty())
            usleep(2000);
    }
    EXPECT_EQ(reaped, std::to_string(pid));
}

TEST(SysProcess, FailedExecRunsNoHandlersOfTheParent)
{
    // A single argument over the kernel's limit makes exec fail (E2BIG) in the child.
    // The child must then end at once: the parent's buffered output is written once.
    TempFolder folder;
    std::string out = folder.file("out");
    pid_t outer = fork();
    ASSERT_GE(outer, 0);
    if (outer == 0) {
        if (std::freopen(out.c_str(), "w", stdout) == nullptr)
            _exit(2);
        std::setvbuf(stdout, nullptr, _IOFBF, 4096);
        std::printf("parent-buffer\n"); // still buffered during the fork
        std::string tooLong(300000, 'x');
        // The failed exec is reported as one, its child already reaped.
        const pid_t child = runShellCommand(tooLong.c_str());
        const int error = errno;
        std::fflush(stdout);
        _exit(child == -1 && error == E2BIG && waitpid(-1, nullptr, WNOHANG) < 0 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(outer, &status, 0), outer);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[64] = {};
    int lines = 0;
    while (std::fgets(line, sizeof(line), f) != nullptr)
        ++lines;
    std::fclose(f);
    EXPECT_EQ(lines, 1);
}

// A child started through the set-up gets descriptors 0-2 only, every signal
// at its default and nothing blocked, whatever the parent holds (the fork and
// spawn forms are checked where svpn and tunnelserver start).
TEST(SysProcess, EveryChildStartsWithTheStandardDescriptorsAndDefaultSignals)
{
    TempFolder folder;
    const std::string out = folder.file("state");
    const std::string command = tessal::test::childStateCommand(out);
    const std::pair<const char*, std::function<pid_t()>> starts[] = {
        {"shell command", [&] { return runShellCommand(command.c_str()); }},
        {"detached",
         [&] {
             return startDetached({"/bin/sh", "-c", command});
         }},
    };
    for (const auto& start : starts) {
        SCOPED_TRACE(start.first);
        unlink(out.c_str());
        pid_t pid = -1;
        {
            tessal::test::StrayParentState stray;
            pid = start.second();
        }
        ASSERT_GT(pid, 0);
        const tessal::test::ChildState state = tessal::test::readChildState(out);
        EXPECT_TRUE(state.clean()) << state.fds << " blocked " << state.blocked << " ignored " << state.ignored;
        // A detached program is nobody's child here.
        EXPECT_EQ(waitpid(pid, nullptr, 0) == pid, std::string(start.first) != "detached");
    }
    errno = 0;
    EXPECT_EQ(startDetached({folder.file("missing")}), -1);
    EXPECT_EQ(errno, ENOENT);
}

namespace {

// What a child wrote to out: its uid and environment, one entry a line.
std::string readText(const std::string& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

} // namespace

// The one start: the environment the client started with or one made for
// the user, the identity, the handed descriptors, and a bound on the wait
// that a stopped child cannot stretch.
TEST(SysProcess, StartProcessTakesItsEnvironmentIdentityAndBound)
{
    TempFolder folder;
    ::chmod(folder.path.c_str(), 0777);
    const std::string out = folder.file("out");
    // What the toolkit adds while it runs stays with the client.
    ::setenv("TESSAL_BEFORE", "kept", 1);
    rememberStartEnvironment();
    ::setenv("force_s3tc_enable", "true", 1);
    const std::string report = "id -u > '" + out + "'; tr '\\0' '\\n' < /proc/$$/environ >> '" + out + "'";
    const UserIdentity nobody = userIdentity(65534, 65534);
    struct Row {
        const char* name;
        std::function<void(ChildStart&)> set;
        bool started;
        int error;
        bool timedOut;
        const char* uid; // what the child wrote first, or nothing
        const char* has; // an environment entry it must have
        const char* hasNot; // and one it must not
    };
    const Row rows[] = {
        {"start environment", [](ChildStart&) {}, true, 0, false, "0", "TESSAL_BEFORE=kept", "force_s3tc_enable="},
        {"as a user",
         [&](ChildStart& s) {
             s.identity = &nobody;
             s.environment = userEnvironment(65534);
         },
         true, 0, false, "65534", "LOGNAME=nobody", "TESSAL_BEFORE="},
        {"stopped by the user",
         [](ChildStart& s) {
             s.args = {"/bin/sh", "-c", "kill -STOP $$"};
             s.waitMs = 1000;
         },
         true, 0, true, "", "", ""},
        {"exec fails", [&](ChildStart& s) { s.args = {folder.file("missing")}; }, false, ENOENT, false, "", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (::geteuid() != 0 && std::string(row.uid) == "65534")
            continue;
        ::unlink(out.c_str());
        ChildStart start;
        start.args = {"/bin/sh", "-c", report};
        // Room for a loaded machine; the stopped row sets its own short bound.
        start.waitMs = 5000;
        row.set(start);
        const ChildRun run = startProcess(start);
        EXPECT_EQ(run.started(), row.started);
        EXPECT_EQ(run.error, row.error);
        EXPECT_EQ(run.timedOut, row.timedOut);
        EXPECT_EQ(run.ended, row.started && !row.timedOut);
        const std::string text = readText(out);
        EXPECT_EQ(text.substr(0, text.find('\n')), row.uid);
        if (row.has[0] != '\0') {
            EXPECT_NE(text.find(std::string("\n") + row.has + "\n"), std::string::npos) << text;
        }
        if (row.hasNot[0] != '\0') {
            EXPECT_EQ(text.find(std::string("\n") + row.hasNot), std::string::npos) << text;
        }
    }
}
