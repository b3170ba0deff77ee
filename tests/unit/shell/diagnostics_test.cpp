// The diagnostics pages and the start of a program as a session's login user.

#include "shell/auxiliary.h"

#include "foundation/CLinuxRouteTable.h"
#include "PrivateNetwork.h"
#include "RecordingLog.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <net/if.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
        const std::string v4Addresses = std::string(kAddressHeader) + "<tr><td>127.0.0.1</td><td>8</td><td>" + lo +
                                        "</td></tr>\n";
        EXPECT_EQ(v4Routes + "<tr><td>2001:db8:1:2::</td><td>64</td><td>::</td><td>" + lo +
                      "</td><td>7</td><td>254</td>" + kEnd,
                  text(GetIpForwardTableAsHTML()));
        EXPECT_EQ(v4Addresses + "<tr><td>::1</td><td>128</td><td>" + lo + "</td></tr>\n" + kEnd,
                  text(GetIpAddrTableAsHTML()));

        // Without the IPv6 half the IPv4 rows stay; without the IPv4 half there is no page.
        struct Case {
            bool routes;
            int failing;
            const char* record;
            std::string page;
        };
        const Case cases[] = {
            {true, AF_INET, "GetIpForwardTableAsHTML(), GetIpForwardTable2(AF_INET) failed, 7", ""},
            {true, AF_INET6, "GetIpForwardTableAsHTML(), GetIpForwardTable2(AF_INET6) failed, 7", v4Routes + kEnd},
            {false, AF_INET, "GetIpAddrTableAsHTML(), GetIpAddrTable2(AF_INET) failed, 7", ""},
            {false, AF_INET6, "GetIpAddrTableAsHTML(), GetIpAddrTable2(AF_INET6) failed, 7", v4Addresses + kEnd},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.record);
            RecordingLog log;
            FailingReader reader(c.failing);
            EXPECT_EQ(c.page, text(c.routes ? routeTableAsHTML(reader) : addressTableAsHTML(reader)));
            EXPECT_EQ(std::string("1, /auxiliary, "), log.last().substr(0, 15));
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
    // The last 10240 bytes begin mid-line; markup passes unchanged; a long
    // line comes in pieces of 1023 characters.
    const std::string longLine(10220, 'x');
    const std::string log = dir.file("vpn.log", "start\n" + std::string(10, 'h') + "<b>b</b>\n" + longLine + "\nend");
    std::string page = "<html><body><p>hhhhhhh<b>b</b>\n</p>";
    for (size_t at = 0; at < longLine.size(); at += 1023)
        page += "<p>" + longLine.substr(at, 1023) + (at + 1023 >= longLine.size() ? "\n" : "") + "</p>";
    const std::string error = "<html><body><p>Log loading error</p>\n</body></html>";
    const std::string cases[][3] = {
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

TEST(DiagnosticsTest, RefusedLaunches)
{
    TempDir dir;
    const std::string plain = dir.file("plain", "#!/bin/sh\n", 0644);
    dir.file("1/loginuid", "abc");
    dir.file("3/loginuid", "54321");  // no such user
    struct Case {
        std::string commandLine;
        int pid;
        std::string record;
    };
    const std::string unknown = "Login user of the process is unknown, not launching, ";
    const Case refusals[] = {
        {"   ", 1, "bad param,    \n"},
        {"\"/bin/true -x", 1, "bad param, \"/bin/true -x\n"},
        {"/bin/true 'open", 1, "bad param, /bin/true 'open\n"},
        {plain + " -x", 1, "App not found:, " + plain + "\n"},
        {"/bin/true", 1, unknown + "1, 4294967295\n"},  // not a number: never read as root
        {"/bin/true", 3, unknown + "3, 54321\n"},
        {"/bin/true", 4, unknown + "4, 4294967295\n"},  // no file
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.commandLine + " " + std::to_string(c.pid));
        RecordingLog log;
        EXPECT_EQ(0, RunHV_LaunchApp(c.commandLine.c_str(), c.pid, dir.path.c_str()));
        EXPECT_EQ(0u, log.last().find("1, /auxiliary, "));
        EXPECT_NE(std::string::npos, log.last().find("RunHV_LaunchApp, " + c.record)) << log.last();
    }
}

// A user with supplementary groups when there is one, else nobody.
std::string targetUser()
{
    std::string name = "nobody";
    ::setpwent();
    while (passwd* entry = ::getpwent()) {
        gid_t groups[64];
        int count = 64;
        if (entry->pw_uid != 0 && ::getgrouplist(entry->pw_name, entry->pw_gid, groups, &count) >= 0 && count > 1) {
            name = entry->pw_name;
            break;
        }
    }
    ::endpwent();
    return name;
}

TEST(DiagnosticsTest, LaunchAsTheLoginUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing the user needs root";
    const std::string user = targetUser();
    const passwd* entry = ::getpwnam(user.c_str());
    ASSERT_NE(nullptr, entry);
    const std::string uid = std::to_string(entry->pw_uid);
    const std::string gid = std::to_string(entry->pw_gid);
    TempDir dir;
    dir.file("77/loginuid", uid);
    const int leaked = ::open("/dev/null", O_RDONLY);  // must not reach the child
    const std::string out = dir.path + "/out";
    // The shell's own descriptors are read in a command substitution, which leaves them alone.
    const std::string script = "fds=$(readlink /proc/$$/fd/1 /proc/$$/fd/2; test -e /proc/$$/fd/" +
                               std::to_string(leaked) + " && echo leaked); (id -u; id -g; id -G | xargs -n1 | sort -n "
                               "| xargs; echo \"$fds\") >" + out;

    RecordingLog log;
    const int child = RunHV_LaunchApp(("\"/bin/sh\" -c '" + script + "'").c_str(), 77, dir.path.c_str());
    ::close(leaked);
    ASSERT_GT(child, 0) << log.text();
    int status = -1;
    EXPECT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_EQ(0, status);
    EXPECT_EQ(readAll("id -u " + user + "; id -g " + user + "; id -G " + user + " | xargs -n1 | sort -n | xargs") +
                  "/dev/null\n/dev/null\n",
              readAll("cat " + out));
    EXPECT_TRUE(log.contains("RunHV_LaunchApp, param:, 1, -c\n"));
    EXPECT_TRUE(log.contains("RunHV_LaunchApp, Launching application with uid, gid, " + uid + ", " + gid + "\n"));

    // A program that passes the checks but cannot be executed is a failure, not a start.
    const std::string broken = dir.file("broken", "\x7f" "ELF garbage", 0755);
    EXPECT_EQ(-1, RunHV_LaunchApp(broken.c_str(), 77, dir.path.c_str()));
    EXPECT_TRUE(log.contains("RunHV_LaunchApp, Could not start application, " + broken + ", ")) << log.text();
}

} // namespace
