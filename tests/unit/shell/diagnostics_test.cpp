// The diagnostics pages and the start of a program as a session's login user.

#include "shell/auxiliary.h"

#include "foundation/CLinuxRouteTable.h"
#include "RecordingLog.h"

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
#include <net/if.h>
#include <pwd.h>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using tessal::test::RecordingLog;

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

// Runs body on a thread of its own inside a new network namespace; a
// non-empty result says why it could not.
std::string inPrivateNetwork(const std::function<void()>& body)
{
    std::string skipReason;
    std::thread worker([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            skipReason = std::string("cannot make a network namespace (needs root): ") + std::strerror(errno);
            return;
        }
        body();
    });
    worker.join();
    return skipReason;
}

void setLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    ASSERT_EQ(0, ::ioctl(fd, SIOCGIFFLAGS, &request));
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    ASSERT_EQ(0, ::ioctl(fd, SIOCSIFFLAGS, &request));
    ::close(fd);
}

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

TEST(DiagnosticsTest, PagesOfAPrivateNetwork)
{
    const std::string skip = inPrivateNetwork([] {
        setLoopbackUp();
        CLinuxRouteTable table;
        IpForwardRow2 defaultRoute = route(AF_INET, "0.0.0.0", 0, 5);
        IpForwardRow2 subnet = route(AF_INET, "10.20.0.0", 16, 4294967295u);
        IpForwardRow2 v6 = route(AF_INET6, "2001:db8:1:2::", 64, 7);
        ASSERT_EQ(0, table.AddIpForwardEntry2(&defaultRoute));
        ASSERT_EQ(0, table.AddIpForwardEntry2(&subnet));
        ASSERT_EQ(0, table.AddIpForwardEntry2(&v6));

        const std::string lo = "lo(" + std::to_string(if_nametoindex("lo")) + ")";
        // Rows run on without line feeds or row ends; the metric prints signed.
        EXPECT_EQ(std::string(kRouteHeader) +                                                           //
                      "<tr><td>0.0.0.0</td><td>0</td><td>0.0.0.0</td><td>" + lo + "</td><td>5</td><td>254</td>" +
                      "<tr><td>10.20.0.0</td><td>16</td><td>0.0.0.0</td><td>" + lo + "</td><td>-1</td><td>254</td>" +
                      "<tr><td>2001:db8:1:2::</td><td>64</td><td>::</td><td>" + lo + "</td><td>7</td><td>254</td>" +
                      kEnd,
                  text(GetIpForwardTableAsHTML()));
        EXPECT_EQ(std::string(kAddressHeader) + "<tr><td>127.0.0.1</td><td>8</td><td>" + lo + "</td></tr>\n" +
                      "<tr><td>::1</td><td>128</td><td>" + lo + "</td></tr>\n" + kEnd,
                  text(GetIpAddrTableAsHTML()));
    });
    if (!skip.empty())
        GTEST_SKIP() << skip;
}

// A reader whose table for one family cannot be read; counts the tables it
// hands out and gets back.
class FailingReader : public CLinuxRouteTable
{
public:
    explicit FailingReader(int failing) : failing(failing) {}
    int GetIpForwardTable2(uint16_t family, IpForwardTable2** table) override
    {
        if (family == failing)
            return 7;
        ++handedOut;
        return CLinuxRouteTable::GetIpForwardTable2(family, table);
    }
    void FreeIpForwardTable2(IpForwardTable2* table) override
    {
        ++freed;
        CLinuxRouteTable::FreeIpForwardTable2(table);
    }
    int GetIpAddrTable2(uint16_t family, IpAddrTable2** table) override
    {
        if (family == failing)
            return 7;
        ++handedOut;
        return CLinuxRouteTable::GetIpAddrTable2(family, table);
    }
    void FreeIpAddrTable2(IpAddrTable2* table) override
    {
        ++freed;
        CLinuxRouteTable::FreeIpAddrTable2(table);
    }
    int failing;
    int handedOut = 0;
    int freed = 0;
};

TEST(DiagnosticsTest, AFailingHalfIsRecordedAndTheTablesFreed)
{
    struct Case {
        bool routes;
        int failing;
        const char* record;
        bool keepsIpv4;
    };
    const Case cases[] = {
        {true, AF_INET, "GetIpForwardTable2(AF_INET) failed, 7", false},
        {true, AF_INET6, "GetIpForwardTable2(AF_INET6) failed, 7", true},
        {false, AF_INET, "GetIpAddrTable2(AF_INET) failed, 7", false},
        {false, AF_INET6, "GetIpAddrTable2(AF_INET6) failed, 7", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        RecordingLog log;
        FailingReader reader(c.failing);
        ASSERT_TRUE(reader.Init());
        const std::string page = text(c.routes ? routeTableAsHTML(reader) : addressTableAsHTML(reader));
        const QStringList records = log.withMessage(QString::fromLatin1(c.record));
        ASSERT_EQ(1, records.size()) << log.text();
        EXPECT_TRUE(records[0].startsWith("1, /auxiliary, "));
        EXPECT_TRUE(records[0].contains(c.routes ? "GetIpForwardTableAsHTML()" : "GetIpAddrTableAsHTML()"));
        EXPECT_EQ(reader.handedOut, reader.freed);
        if (!c.keepsIpv4) {
            EXPECT_EQ("", page);
            continue;
        }
        // The IPv4 rows of this machine, then the end of the table.
        CLinuxRouteTable plain;
        IpForwardTable2* routes = nullptr;
        IpAddrTable2* addresses = nullptr;
        ASSERT_EQ(0, c.routes ? plain.GetIpForwardTable2(AF_INET, &routes) : plain.GetIpAddrTable2(AF_INET, &addresses));
        const uint32_t rows = c.routes ? routes->NumEntries : addresses->NumEntries;
        plain.FreeIpForwardTable2(routes);
        plain.FreeIpAddrTable2(addresses);
        EXPECT_EQ(0u, page.find(c.routes ? kRouteHeader : kAddressHeader));
        EXPECT_EQ(page.size() - std::strlen(kEnd), page.rfind(kEnd));
        size_t count = 0;
        for (size_t at = page.find("<tr><td>"); at != std::string::npos; at = page.find("<tr><td>", at + 1))
            ++count;
        EXPECT_EQ(rows, count);
    }
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
    std::string file(const std::string& name, const std::string& contents, mode_t mode = 0644) const
    {
        const std::string p = path + "/" + name;
        std::ofstream(p, std::ios::binary) << contents;
        ::chmod(p.c_str(), mode);
        return p;
    }
    std::string path;
};

TEST(DiagnosticsTest, LogPage)
{
    TempDir dir;
    // The last 10240 bytes begin mid-line; markup passes unchanged and a line
    // longer than one piece comes in pieces of 1023 characters.
    const std::string longLine(10220, 'x');
    const std::string logPath =
        dir.file("vpn.log", "start\n" + std::string(10, 'h') + "<b>bold</b>\n" + longLine + "\nlast");
    std::string expected = "<html><body><p>hhh<b>bold</b>\n</p>";
    for (size_t at = 0; at < longLine.size(); at += 1023)
        expected += "<p>" + longLine.substr(at, 1023) + (at + 1023 >= longLine.size() ? "\n" : "") + "</p>";
    expected += "<p>last</p></body></html>";

    struct Case {
        std::string path;
        std::string page;
        std::string record;
    };
    const Case cases[] = {
        {logPath, expected, ""},
        {dir.file("short.log", "only a little\n"), "<html><body><p>Log loading error</p>\n</body></html>",
         "GetLogFileAsHTML() , fseek() failed, 22, Invalid argument\n"},
        {dir.path + "/missing.log", "<html><body><p>Log loading error</p>\n</body></html>",
         "GetLogFileAsHTML() , fopen() failed, 2, No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        RecordingLog log;
        EXPECT_EQ(c.page, text(GetLogFileAsHTML(c.path.c_str())));
        if (c.record.empty()) {
            EXPECT_EQ(0u, log.count());
        } else {
            ASSERT_EQ(1u, log.count());
            EXPECT_NE(std::string::npos, log.last().find(c.record)) << log.last();
        }
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
        {"'it''s'", 2, {"it", "s"}},
        {"", 0, {}},
        {"a 'open", -1, {"a"}},
        {"\"open", -1, {}},
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
        if (c.result == -1) {
            EXPECT_TRUE(log.contains(", ParseParams, Bad parameters, unclosed, ")) << log.text();
        } else {
            EXPECT_EQ(0u, log.count());
        }
    }
}

TEST(DiagnosticsTest, RefusedLaunches)
{
    TempDir dir;
    const std::string plain = dir.file("plain", "#!/bin/sh\n", 0644);
    ::mkdir((dir.path + "/1").c_str(), 0755);
    ::mkdir((dir.path + "/2").c_str(), 0755);
    ::mkdir((dir.path + "/3").c_str(), 0755);
    dir.file("1/loginuid", "abc");
    dir.file("2/loginuid", "4294967295");
    dir.file("3/loginuid", "54321");  // no such user

    struct Case {
        std::string commandLine;
        int pid;
        std::string record;
    };
    const Case cases[] = {
        {"   ", 1, "RunHV_LaunchApp, bad param,    \n"},
        {"\"/bin/true -x", 1, "RunHV_LaunchApp, bad param, \"/bin/true -x\n"},
        {"/bin/true 'open", 1, "RunHV_LaunchApp, bad param, /bin/true 'open\n"},
        {plain + " -x", 1, "RunHV_LaunchApp, App not found:, " + plain + "\n"},
        {"/no/such/program", 1, "RunHV_LaunchApp, App not found:, /no/such/program\n"},
        {"/bin/true", 1, "Login user of the process is unknown, not launching, 1, 4294967295\n"},
        {"/bin/true", 2, "Login user of the process is unknown, not launching, 2, 4294967295\n"},
        {"/bin/true", 3, "Login user of the process is unknown, not launching, 3, 54321\n"},
        {"/bin/true", 4, "Login user of the process is unknown, not launching, 4, 4294967295\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine + " " + std::to_string(c.pid));
        RecordingLog log;
        EXPECT_EQ(0, RunHV_LaunchApp(c.commandLine.c_str(), c.pid, dir.path.c_str()));
        EXPECT_EQ(0u, log.last().find("1, /auxiliary, "));
        EXPECT_NE(std::string::npos, log.last().find(c.record)) << log.last();
    }
    // Without a login user, as in this process's own "/proc" file here, nothing runs either.
    if (getProcessLoginUid(::getpid()) == 4294967295u) {
        RecordingLog log;
        EXPECT_EQ(0, RunHV_LaunchApp("/bin/true", ::getpid()));
    }
}

// A user with supplementary groups when there is one, else nobody.
passwd* targetUser()
{
    ::setpwent();
    passwd* chosen = nullptr;
    while (passwd* entry = ::getpwent()) {
        if (entry->pw_uid == 0)
            continue;
        gid_t groups[64];
        int count = 64;
        if (::getgrouplist(entry->pw_name, entry->pw_gid, groups, &count) >= 0 && count > 1) {
            chosen = entry;
            break;
        }
    }
    ::endpwent();
    return chosen != nullptr ? ::getpwuid(chosen->pw_uid) : ::getpwnam("nobody");
}

std::string groupsText(const char* name, gid_t gid)
{
    gid_t groups[64];
    int count = 64;
    ::getgrouplist(name, gid, groups, &count);
    std::vector<gid_t> sorted(groups, groups + count);
    std::sort(sorted.begin(), sorted.end());
    std::string out;
    for (gid_t g : sorted)
        out += (out.empty() ? "" : " ") + std::to_string(g);
    return out;
}

std::string waitAndRead(pid_t child, const std::string& path)
{
    int status = -1;
    EXPECT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(DiagnosticsTest, LaunchAsTheLoginUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing the user needs root";
    const passwd* user = targetUser();
    ASSERT_NE(nullptr, user);
    const uid_t uid = user->pw_uid;
    const gid_t gid = user->pw_gid;
    const std::string expectedGroups = groupsText(user->pw_name, gid);

    TempDir dir;
    ::mkdir((dir.path + "/77").c_str(), 0755);
    dir.file("77/loginuid", std::to_string(uid));
    // A descriptor the child must not inherit.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    const std::string out = dir.path + "/out";
    const std::string script = "id -u >" + out + "; id -g >>" + out + "; id -G | xargs -n1 | sort -n | xargs >>" + out +
                               "; a=$(readlink /proc/$$/fd/1); b=$(readlink /proc/$$/fd/2); echo $a $b >>" + out +
                               "; test -e /proc/self/fd/" + std::to_string(leaked) + " && echo leaked >>" + out +
                               "; echo end >>" + out;

    RecordingLog log;
    const int child = RunHV_LaunchApp(("\"/bin/sh\" -c '" + script + "'").c_str(), 77, dir.path.c_str());
    ::close(leaked);
    ASSERT_GT(child, 0) << log.text();
    EXPECT_EQ(std::to_string(uid) + "\n" + std::to_string(gid) + "\n" + expectedGroups + "\n/dev/null /dev/null\nend\n",
              waitAndRead(child, out));
    EXPECT_TRUE(log.contains("RunHV_LaunchApp, param:, 0, /bin/sh\n"));
    EXPECT_TRUE(log.contains("RunHV_LaunchApp, param:, 1, -c\n"));
    EXPECT_TRUE(log.contains("RunHV_LaunchApp, Launching application with uid, gid, " + std::to_string(uid) + ", " +
                             std::to_string(gid) + "\n"));

    // A program that passes the checks but cannot be executed is a failure, not a start.
    const std::string broken = dir.file("broken", std::string("\x7f" "ELF garbage", 12), 0755);
    log.clear();
    EXPECT_EQ(-1, RunHV_LaunchApp(broken.c_str(), 77, dir.path.c_str()));
    EXPECT_TRUE(log.contains("RunHV_LaunchApp, Could not start application, " + broken + ", ")) << log.text();
}

} // namespace
