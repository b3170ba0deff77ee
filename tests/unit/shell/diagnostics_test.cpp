// The diagnostics pages and the start of a program as a session's login user.

#include "shell/auxiliary.h"

#include "PrivateNetwork.h"
#include "RecordingLog.h"
#include "foundation/CLinuxRouteTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <linux/keyctl.h>
#include <net/if.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using tessal::test::inPrivateNetwork;
using tessal::test::RecordingLog;
using tessal::test::setLoopbackUp;

namespace {

std::string text(const CString& s)
{
    return static_cast<const char*>(s);
}

const char kRouteHeader[] =
    "<html><body><table border=\"1\"><tr><th>Destination</th><th>Netmask</th><th>Gateway</th><th>If</th>"
    "<th>Metric</th><th>Routing table</th></tr>\n";
const char kAddressHeader[] = "<html><body><table border=\"1\"><tr><th>Address</th><th>Netmask</th><th>If</th></tr>";
const char kEnd[] = "</table></body></html>";

IpForwardRow2 route(int family, const char* destination, uint8_t prefixLength, uint64_t metric)
{
    IpForwardRow2 row{};
    row.destination.ss_family = static_cast<sa_family_t>(family);
    void* bytes = family == AF_INET ? static_cast<void*>(&reinterpret_cast<sockaddr_in&>(row.destination).sin_addr)
                                    : static_cast<void*>(&reinterpret_cast<sockaddr_in6&>(row.destination).sin6_addr);
    inet_pton(family, destination, bytes);
    row.prefixLength = prefixLength;
    row.ifIndex = if_nametoindex("lo");
    row.metric = metric;
    row.protocol = 4;
    return row;
}

// A reader whose table of one family cannot be read; counts what it hands out and gets back.
class FailingReader : public CLinuxRouteTable
{
public:
    explicit FailingReader(int failing) : failing(failing) {}
    int GetIpForwardTable2(uint16_t family, IpForwardTable2** table) override
    {
        return family == failing ? 7 : (++out, CLinuxRouteTable::GetIpForwardTable2(family, table));
    }
    void FreeIpForwardTable2(IpForwardTable2* table) override { ++back, CLinuxRouteTable::FreeIpForwardTable2(table); }
    int GetIpAddrTable2(uint16_t family, IpAddrTable2** table) override
    {
        return family == failing ? 7 : (++out, CLinuxRouteTable::GetIpAddrTable2(family, table));
    }
    void FreeIpAddrTable2(IpAddrTable2* table) override { ++back, CLinuxRouteTable::FreeIpAddrTable2(table); }
    int failing;
    int out = 0;
    int back = 0;
};

TEST(DiagnosticsTest, PagesOfAPrivateNetwork)
{
    const std::string skip = inPrivateNetwork([] {
        ASSERT_EQ("", setLoopbackUp());
        CLinuxRouteTable table;
        IpForwardRow2 routes[] = {route(AF_INET, "0.0.0.0", 0, 5), route(AF_INET, "10.20.0.0", 16, 4294967295u),
                                  route(AF_INET6, "2001:db8:1:2::", 64, 7)};
        for (IpForwardRow2& r : routes)
            ASSERT_EQ(0, table.AddIpForwardEntry2(&r));

        const std::string lo = "lo(" + std::to_string(if_nametoindex("lo")) + ")";
        // Rows run on without line feeds or row ends; the metric prints signed.
        const std::string v4Routes =
            std::string(kRouteHeader) + "<tr><td>0.0.0.0</td><td>0</td><td>0.0.0.0</td><td>" + lo +
            "</td><td>5</td><td>254</td><tr><td>10.20.0.0</td><td>16</td><td>0.0.0.0</td><td>" + lo +
            "</td><td>-1</td><td>254</td>";
        const std::string v4Addresses =
            std::string(kAddressHeader) + "<tr><td>127.0.0.1</td><td>8</td><td>" + lo + "</td></tr>\n";
        EXPECT_EQ(v4Routes + "<tr><td>2001:db8:1:2::</td><td>64</td><td>::</td><td>" + lo +
                      "</td><td>7</td><td>254</td>" + kEnd,
                  text(GetIpForwardTableAsHTML()));
        EXPECT_EQ(v4Addresses + "<tr><td>::1</td><td>128</td><td>" + lo + "</td></tr>\n" + kEnd,
                  text(GetIpAddrTableAsHTML()));

        // Without the IPv6 half the IPv4 rows stay, with a row that says so;
        // without the IPv4 half there is no page.
        const std::string missing = "The IPv6 table could not be read</td></tr>";
        struct Case {
            bool routes;
            int failing;
            const char* record;
            std::string page;
        };
        const Case cases[] = {
            {true, AF_INET, "GetIpForwardTableAsHTML(), GetIpForwardTable2(AF_INET) failed, 7", ""},
            {true, AF_INET6, "GetIpForwardTableAsHTML(), GetIpForwardTable2(AF_INET6) failed, 7",
             v4Routes + "<tr><td colspan=\"6\">" + missing + kEnd},
            {false, AF_INET, "GetIpAddrTableAsHTML(), GetIpAddrTable2(AF_INET) failed, 7", ""},
            {false, AF_INET6, "GetIpAddrTableAsHTML(), GetIpAddrTable2(AF_INET6) failed, 7",
             v4Addresses + "<tr><td colspan=\"3\">" + missing + "\n" + kEnd},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.record);
            RecordingLog log;
            FailingReader reader(c.failing);
            EXPECT_EQ(c.page, text(c.routes ? routeTableAsHTML(reader) : addressTableAsHTML(reader)));
            EXPECT_EQ(std::string("1, auxiliary, "), log.last().substr(0, 14));
            EXPECT_NE(std::string::npos, log.last().find(c.record)) << log.text();
            EXPECT_EQ(reader.out, reader.back);
        }
    });
    if (!skip.empty())
        GTEST_SKIP() << skip;
}

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/tessal-diag-XXXXXX";
        path = ::mkdtemp(pattern);
        ::chmod(path.c_str(), 0777);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    // Makes the file (and its folder) and returns its path.
    std::string file(const std::string& name, const std::string& contents, mode_t mode = 0644) const
    {
        const std::string p = path + "/" + name;
        ::mkdir(p.substr(0, p.rfind('/')).c_str(), 0755);
        std::ofstream(p, std::ios::binary) << contents;
        ::chmod(p.c_str(), mode);
        return p;
    }
    std::string path;
};

std::string readAll(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;)
        out += static_cast<char>(c);
    if (pipe != nullptr)
        ::pclose(pipe);
    return out;
}

TEST(DiagnosticsTest, LogPage)
{
    TempDir dir;
    // The last 10240 bytes begin mid-line; log text (from servers and
    // browsers too) shows as text, never as markup; a long line comes in
    // pieces of 1023 characters.
    const std::string longLine(10220, 'x');
    const std::string log =
        dir.file("vpn.log", "start\n" + std::string(10, 'h') + "<b>b</b>&\"\n" + longLine + "\nend");
    std::string page = "<html><body><p>hhhhh&lt;b&gt;b&lt;/b&gt;&amp;&quot;\n</p>";
    for (size_t at = 0; at < longLine.size(); at += 1023)
        page += "<p>" + longLine.substr(at, 1023) + (at + 1023 >= longLine.size() ? "\n" : "") + "</p>";
    const std::string error = "<html><body><p>Log loading error</p>\n</body></html>";
    // Never blocking on a FIFO, never reading a device without end.
    const std::string fifo = dir.path + "/fifo.log", zero = dir.path + "/zero.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    const std::string cases[][3] = {
        {fifo, error, "GetLogFileAsHTML() , fopen() failed, 22, Invalid argument\n"},
        {zero, error, "GetLogFileAsHTML() , fopen() failed, 40, Too many levels of symbolic links\n"},
        {log, page + "<p>end</p></body></html>", ""},
        {dir.file("short.log", "a little\n"), error, "GetLogFileAsHTML() , fseek() failed, 22, Invalid argument\n"},
        {dir.path + "/none.log", error, "GetLogFileAsHTML() , fopen() failed, 2, No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        RecordingLog records;
        EXPECT_EQ(c[1], text(GetLogFileAsHTML(c[0].c_str())));
        EXPECT_EQ(c[2].empty() ? 0u : 1u, records.count());
        EXPECT_NE(std::string::npos, records.text().find(c[2]));
    }
}

TEST(DiagnosticsTest, ParseParams)
{
    struct Case {
        const char* params;
        int result;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"-v 'two words'", 2, {"-v", "two words"}},
        {"a    b", 2, {"a", "b"}},
        {"a \"\" b", 2, {"a", "b"}},
        {"pre\"quoted text\"post", 2, {"quoted text", "post"}},
        {"x\ty z", 2, {"x\ty", "z"}},
        {"", 0, {}},
        {"a 'open", -1, {"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        RecordingLog log;
        CArray<CString> args;
        EXPECT_EQ(c.result, ParseParams(c.params, args));
        std::vector<std::string> got;
        for (int i = 0; i < args.GetSize(); ++i)
            got.push_back(text(args[i]));
        EXPECT_EQ(c.args, got);
        EXPECT_EQ(c.result == -1, log.contains(", ParseParams, Bad parameters, unclosed, '\n")) << log.text();
    }
}

// A process folder as the kernel shows it: login uid, the real, effective,
// saved and file-system uids, the environment (NUL-separated), and its state
// and start time.
void fakeProcess(const TempDir& dir, int pid, const std::string& loginUid, std::string uids,
                 const std::string& environment = std::string(), const char* state = "S")
{
    const std::string folder = std::to_string(pid);
    while (std::count(uids.begin(), uids.end(), '\t') < 3)
        uids += "\t" + uids.substr(uids.rfind('\t') + 1);
    dir.file(folder + "/stat", folder + " (a) b) " + state + " 1 1 1 0 -1 4194560 0 0 0 0 0 0 0 0 20 0 1 0 4242 0\n");
    dir.file(folder + "/loginuid", loginUid);
    dir.file(folder + "/status",
             "Name:\tsh\nUmask:\t0022\nState:\tS (sleeping)\nUid:\t" + uids + "\nGid:\t0\t0\t0\t0\n");
    if (environment.empty())
        ::unlink((dir.path + "/" + folder + "/environ").c_str());
    else
        dir.file(folder + "/environ", environment);
}

TEST(DiagnosticsTest, RefusedLaunches)
{
    TempDir dir;
    const std::string plain = dir.file("plain", "#!/bin/sh\n", 0644);
    dir.file("1/loginuid", "abc");
    fakeProcess(dir, 3, "54321", "54321"); // no such user
    fakeProcess(dir, 5, "0", "65534"); // an unset login uid set to 0 by the process itself
    fakeProcess(dir, 6, "65534", "0\t65534");
    dir.file("8/loginuid", "65534"); // no status
    fakeProcess(dir, 9, "65534", "65534", "", "Z"); // ended, not reaped yet
    struct Case {
        std::string commandLine;
        int pid;
        std::string record;
    };
    const std::string unknown = "Login user of the process is unknown, not launching, ";
    const std::string other = "Login user of the process is not the user it runs as, not launching, ";
    const Case refusals[] = {
        {"   ", 1, "bad param,    \n"},
        {"\"/bin/true -x", 1, "bad param, \"/bin/true -x\n"},
        {"/bin/true 'open", 1, "bad param, /bin/true 'open\n"},
        {plain + " -x", 1, "App not found:, " + plain + "\n"},
        {"/bin/true", 1, unknown + "1, 4294967295\n"}, // not a number: never read as root
        {"/bin/true", 3, unknown + "3, 54321\n"},
        {"/bin/true", 4, unknown + "4, 4294967295\n"}, // no file
        {"/bin/true", 5, other + "5, 0, 65534\n"},
        {"/bin/true", 6, other + "6, 65534, 0\n"},
        {"/bin/true", 8, other + "8, 65534, 4294967295\n"},
        {"/bin/true", 9, "Process ended or was replaced while it was read, not launching, 9\n"},
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.commandLine + " " + std::to_string(c.pid));
        RecordingLog log;
        EXPECT_EQ(0, RunHV_LaunchApp(c.commandLine.c_str(), c.pid, dir.path.c_str()));
        EXPECT_EQ(0u, log.last().find("1, auxiliary, "));
        EXPECT_NE(std::string::npos, log.last().find("RunHV_LaunchApp, " + c.record)) << log.last();
    }
}

// Puts fd over one of our standard descriptors for a while.
// Runs body with fd (nothing when -1) in place of descriptors 0 to last.
template <typename Body>
void withStandardDescriptors(int fd, int last, Body body)
{
    int saved[3];
    for (int i = 0; i <= last; ++i) {
        saved[i] = ::fcntl(i, F_DUPFD_CLOEXEC, 10);
        fd >= 0 ? ::dup2(fd, i) : ::close(i);
    }
    body();
    for (int i = 0; i <= last; ++i)
        ::dup2(saved[i], i), ::close(saved[i]);
}

TEST(DiagnosticsTest, LaunchAsTheLoginUser)
{
    using namespace std::string_literals;
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing the user needs root";
    TempDir dir;
    const std::string out = dir.path + "/out";
    // What the caller has and the child must not get: a descriptor, an input,
    // a working folder, a secret, a blocked signal and an ignored SIGPIPE.
    const int leaked = ::open("/dev/null", O_RDONLY);
    const int input = ::open(dir.file("input", "typed").c_str(), O_RDONLY | O_CLOEXEC);
    const std::string script =
        "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2 | xargs; test -e /proc/$$/fd/" +
        std::to_string(leaked) +
        " && echo leaked); set -- $(cut -d\" \" -f6,7 /proc/$$/stat); "
        "(id -u; id -g; id -G | xargs -n1 | sort -n | xargs; echo \"$fds\"; [ \"$1\" = $$ ] && "
        "echo \"session leader, terminal $2\"; pwd -P; env | grep -v ^PWD= | sort; grep -E "
        "\"^Sig(Blk|Ign)\" /proc/$$/status) >" +
        out;
    struct Case {
        const char* user;
        std::string environment; // of the process whose user it is
        std::string display; // what the child gets of it, sorted around the rest
        std::string session;
    };
    const Case cases[] = {
        {"nobody", "DISPLAY=:7\0HOME=/root\0SECRET=s\0WAYLAND_DISPLAY=wayland-3\0XDG_RUNTIME_DIR=/run/user/65534"s,
         "DISPLAY=:7\n", "WAYLAND_DISPLAY=wayland-3\nXDG_RUNTIME_DIR=/run/user/65534\n"},
        {"root", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        const passwd* entry = ::getpwnam(c.user);
        ASSERT_NE(nullptr, entry);
        const std::string uid = std::to_string(entry->pw_uid);
        const std::string home = entry->pw_dir;
        struct stat info {};
        const std::string expected =
            readAll("id -u " + uid + "; id -g " + uid + "; id -G " + uid + " | xargs -n1 | sort -n | xargs") +
            "/dev/null /dev/null /dev/null\nsession leader, terminal 0\n" +
            (::stat(home.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? home : "/") + "\n" + c.display +
            "HOME=" + home + "\nLOGNAME=" + c.user + "\nPATH=" +
            (entry->pw_uid == 0 ? "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
                                : "/usr/local/bin:/usr/bin:/bin") +
            "\nSHELL=" + (entry->pw_shell[0] != '\0' ? entry->pw_shell : "/bin/sh") + "\nUSER=" + c.user + "\n" +
            c.session + "SigBlk:\t0000000000000000\nSigIgn:\t";
        fakeProcess(dir, 77, uid, uid, c.environment);
        ::unlink(out.c_str());

        ::setenv("TESSAL_TEST_SECRET", "s", 1);
        char caller[4096] = "";
        ASSERT_NE(nullptr, ::getcwd(caller, sizeof caller));
        ASSERT_EQ(0, ::chdir(dir.path.c_str()));
        sigset_t blocked, previous;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGUSR2);
        ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
        struct sigaction ignore {
        }, savedPipe{};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &savedPipe);
        RecordingLog log;
        int child = 0;
        withStandardDescriptors(input, 0, [&] {
            child = RunHV_LaunchApp(("\"/bin/sh\" -c '" + script + "'").c_str(), 77, dir.path.c_str());
        });
        ::sigaction(SIGPIPE, &savedPipe, nullptr);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        EXPECT_EQ(0, ::chdir(caller));
        ::unsetenv("TESSAL_TEST_SECRET");

        ASSERT_GT(child, 0) << log.text();
        int status = -1;
        EXPECT_EQ(child, ::waitpid(child, &status, 0));
        EXPECT_EQ(0, status);
        const std::string got = readAll("cat " + out);
        ASSERT_EQ(expected, got.substr(0, expected.size()));
        EXPECT_EQ(0u,
                  std::stoull(got.substr(expected.size()), nullptr, 16) & (1u << (SIGPIPE - 1) | 1u << (SIGCHLD - 1)));
        EXPECT_TRUE(log.contains("RunHV_LaunchApp, Launching application with uid, gid, " + uid + ", " +
                                 std::to_string(entry->pw_gid) + "\n"));
    }
    ::close(input);
    ::close(leaked);
}

// A program that passes the checks but cannot be executed is a failure, not
// a start, also for a caller without standard descriptors.
TEST(DiagnosticsTest, LaunchWithoutStandardDescriptors)
{
    TempDir dir;
    const std::string uid = std::to_string(::getuid());
    fakeProcess(dir, 78, uid, uid);
    const std::string broken = dir.file("broken",
                                        "\x7f"
                                        "ELF garbage",
                                        0755);
    const std::string out = dir.path + "/out";
    const std::string fds = "/bin/sh -c 'fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); echo \"$fds\" >";
    const std::pair<std::string, int> cases[] = {{broken, -1}, {broken, 2}, {fds + out + "'", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + " closing 0-" + std::to_string(c.second));
        RecordingLog log;
        int child = 0;
        withStandardDescriptors(-1, c.second, [&] { child = RunHV_LaunchApp(c.first.c_str(), 78, dir.path.c_str()); });
        if (c.first == broken) {
            EXPECT_EQ(-1, child);
            EXPECT_TRUE(log.contains("RunHV_LaunchApp, Could not start application, " + broken + ", ")) << log.text();
            continue;
        }
        ASSERT_GT(child, 0) << log.text();
        EXPECT_EQ(child, ::waitpid(child, nullptr, 0));
        EXPECT_EQ("/dev/null\n/dev/null\n/dev/null\n", readAll("cat " + out));
    }
}

// A log that runs an action once, when a record holding the trigger is written.
class HookedLog : public RecordingLog
{
public:
    HookedLog(std::string trigger, std::function<void()> action)
        : trigger(std::move(trigger)), action(std::move(action))
    {}
    int writeLine(const char* text) override
    {
        const int result = RecordingLog::writeLine(text);
        if (action && std::string(text).find(trigger) != std::string::npos)
            std::exchange(action, nullptr)();
        return result;
    }
    std::string trigger;
    std::function<void()> action;
};

// In a pid namespace of its own (this process is its first process, proc
// mounted at proc): a process of user 65534 holds pid 2 when the launch
// begins; while the launch is prepared it ends and a process of the
// super-user takes pid 2 over. Returns 0 when nothing was launched.
int launchWhileThePidIsTakenOver(const std::string& proc, const std::string& out)
{
    if (::mount("proc", proc.c_str(), "proc", 0, nullptr) != 0)
        return 77;
    // A process that sets its login user and user, then waits to be killed.
    auto holder = [&](uid_t uid) {
        int ready[2];
        if (::pipe(ready) != 0)
            return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::ofstream(proc + "/self/loginuid") << uid;
            if (::setgid(uid) != 0 || ::setuid(uid) != 0)
                ::_exit(1);
            ::close(ready[0]);
            ::close(ready[1]);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char byte;
        (void)!::read(ready[0], &byte, 1); // end of file once it is set up
        ::close(ready[0]);
        return static_cast<int>(pid);
    };
    const int first = holder(65534);
    int second = -1;
    HookedLog log("Process id, Parent process id", [&] {
        ::kill(first, SIGKILL);
        ::waitpid(first, nullptr, 0);
        std::ofstream(proc + "/sys/kernel/ns_last_pid") << first - 1;
        second = holder(0);
    });
    const int child = RunHV_LaunchApp(("/bin/sh -c 'id -u > " + out + "'").c_str(), first, proc.c_str());
    ::kill(second, SIGKILL);
    ::waitpid(second, nullptr, 0);
    if (second != first)
        return 2;
    return child == 0 && log.contains("Process ended or was replaced while it was read, not launching, 2\n") ? 0 : 1;
}

TEST(DiagnosticsTest, LaunchForAProcessWhosePidIsTakenOverIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "namespaces and login users need root";
    TempDir dir;
    const std::string proc = dir.path + "/proc";
    const std::string out = dir.path + "/ran";
    ::mkdir(proc.c_str(), 0755);
    const pid_t runner = ::fork();
    if (runner == 0) {
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(77);
        const pid_t first = ::fork();
        if (first == 0)
            ::_exit(launchWhileThePidIsTakenOver(proc, out));
        int status = 0;
        ::waitpid(first, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 99);
    }
    int status = 0;
    ASSERT_EQ(runner, ::waitpid(runner, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private pid namespace here";
    EXPECT_EQ(0, WEXITSTATUS(status)) << "1: launched, 2: the pid was not taken over";
    ::usleep(200000);
    EXPECT_NE(0, ::access(out.c_str(), F_OK)) << "the program ran as uid " << readAll("cat " + out);
}

// The program does not possess the caller's session keyring: the super-user's
// keys stay out of a user's reach.
TEST(DiagnosticsTest, LaunchedProgramHasASessionKeyringOfItsOwn)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing the user needs root";
    const std::string name = "tessal-test-" + std::to_string(::getpid());
    const long keyring = ::syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, name.c_str());
    if (keyring < 0)
        GTEST_SKIP() << "no key facility: " << std::strerror(errno);
    TempDir dir;
    fakeProcess(dir, 79, "65534", "65534");
    const std::string out = dir.path + "/keys";
    RecordingLog log;
    const int child = RunHV_LaunchApp(("/bin/sh -c 'cat /proc/keys > " + out + "'").c_str(), 79, dir.path.c_str());
    ASSERT_GT(child, 0) << log.text();
    ASSERT_EQ(child, ::waitpid(child, nullptr, 0));
    const std::string keys = readAll("cat " + out);
    EXPECT_NE(std::string::npos, keys.find("keyring")) << keys; // it sees a session keyring of its own
    EXPECT_EQ(std::string::npos, keys.find(name)) << keys;
}

} // namespace
