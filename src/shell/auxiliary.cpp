#include "shell/auxiliary.h"

#include "foundation/CLinuxRouteTable.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"
#include "foundation/str_helper.h"

#include <QObject>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/keyctl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kLogFile = "auxiliary";
constexpr uint32_t kNoLoginUser = 4294967295u;
constexpr long kLogTailBytes = 10240;

const char kTableEnd[] = "</table></body></html>";

// An address field as text; an empty field (family 0) reads as the all-zero
// address of the table's family.
CString addressText(const sockaddr_storage& address, int tableFamily)
{
    char text[46] = "";
    const int family = address.ss_family != 0 ? address.ss_family : tableFamily;
    const void* bytes = family == AF_INET6
                          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr)
                          : static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(address).sin_addr);
    if (inet_ntop(family, bytes, text, sizeof text) == nullptr)
        text[0] = '\0';
    return CString(text);
}

// Text with the characters that would open markup escaped.
CString htmlEscaped(const char* text)
{
    CString escaped;
    for (const char* c = text; *c != '\0'; ++c) {
        switch (*c) {
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '&': escaped += "&amp;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += *c; break;
        }
    }
    return escaped;
}

// The interface's name as HTML text.
CString interfaceName(int64_t index)
{
    char name[IF_NAMESIZE] = "";
    if (index <= 0 || index > UINT_MAX || if_indextoname(static_cast<unsigned>(index), name) == nullptr)
        name[0] = '\0';
    return htmlEscaped(name);
}

void appendRow(CString& html, const IpForwardRow2& row, int family)
{
    html += formatString("<tr><td>%s</td><td>%d</td><td>%s</td><td>%s(%d)</td><td>%d</td><td>%d</td>",
                         static_cast<const char*>(addressText(row.destination, family)),
                         static_cast<int>(row.prefixLength), static_cast<const char*>(addressText(row.gateway, family)),
                         static_cast<const char*>(interfaceName(row.ifIndex)), static_cast<int>(row.ifIndex),
                         static_cast<int>(static_cast<int32_t>(row.metric)), static_cast<int>(row.table));
}

void appendRow(CString& html, const IpAddrRow2& row, int family)
{
    html += formatString("<tr><td>%s</td><td>%d</td><td>%s(%d)</td></tr>\n",
                         static_cast<const char*>(addressText(row.address, family)), static_cast<int>(row.prefixLength),
                         static_cast<const char*>(interfaceName(row.ifIndex)), static_cast<int>(row.ifIndex));
}

// How one page reads and frees its table.
struct RoutePage {
    using Table = IpForwardTable2;
    static constexpr const char* kFunction = "GetIpForwardTableAsHTML()";
    static constexpr const char* kHeader =
        "<html><body><table border=\"1\"><tr><th>Destination</th><th>Netmask</th><th>Gateway</th>"
        "<th>If</th><th>Metric</th><th>Routing table</th></tr>\n";
    static constexpr const char* kFailure[2] = {"GetIpForwardTable2(AF_INET) failed",
                                                "GetIpForwardTable2(AF_INET6) failed"};
    static int get(CRouteTable& reader, uint16_t family, Table** table)
    {
        return reader.GetIpForwardTable2(family, table);
    }
    static void release(CRouteTable& reader, Table* table) { reader.FreeIpForwardTable2(table); }
    static constexpr int kColumns = 6;
    static constexpr const char* kRowEnd = "</td></tr>";
};

struct AddressPage {
    using Table = IpAddrTable2;
    static constexpr const char* kFunction = "GetIpAddrTableAsHTML()";
    static constexpr const char* kHeader =
        "<html><body><table border=\"1\"><tr><th>Address</th><th>Netmask</th><th>If</th></tr>";
    static constexpr const char* kFailure[2] = {"GetIpAddrTable2(AF_INET) failed", "GetIpAddrTable2(AF_INET6) failed"};
    static int get(CRouteTable& reader, uint16_t family, Table** table)
    {
        return reader.GetIpAddrTable2(family, table);
    }
    static void release(CRouteTable& reader, Table* table) { reader.FreeIpAddrTable2(table); }
    static constexpr int kColumns = 3;
    static constexpr const char* kRowEnd = "</td></tr>\n";
};

// Header, IPv4 rows, IPv6 rows, end. Without IPv4 rows there is no page;
// when only the IPv6 half fails the IPv4 rows are still worth showing, with
// a row that says the rest is missing.
template <typename Page>
CString tableAsHTML(CRouteTable& reader)
{
    CString html(Page::kHeader);
    const uint16_t families[2] = {AF_INET, AF_INET6};
    for (int half = 0; half < 2; ++half) {
        typename Page::Table* table = nullptr;
        const int result = Page::get(reader, families[half], &table);
        if (table == nullptr) {
            ULOG_ERROR(kLogFile, Page::kFunction,
                       makeArgFormat("%1, %2", Page::kFailure[half], static_cast<unsigned>(result)));
            if (half == 0)
                return CString();
            html += formatString("<tr><td colspan=\"%d\">", Page::kColumns);
            html += htmlEscaped(QObject::tr("The IPv6 table could not be read").toUtf8().constData());
            html += Page::kRowEnd;
            break;
        }
        for (uint32_t i = 0; i < table->NumEntries; ++i)
            appendRow(html, table->Table[i], families[half]);
        Page::release(reader, table);
    }
    html += kTableEnd;
    return html;
}

template <typename Page>
CString readTableAsHTML()
{
    CLinuxRouteTable reader;
    if (!reader.Init()) {
        ULOG_ERROR(kLogFile, Page::kFunction, "Could not init route table helper II");
        return CString();
    }
    return tableAsHTML<Page>(reader);
}

CString errorText(int error)
{
    return CString(std::strerror(error));
}

} // namespace

CString routeTableAsHTML(CRouteTable& reader)
{
    return tableAsHTML<RoutePage>(reader);
}

CString addressTableAsHTML(CRouteTable& reader)
{
    return tableAsHTML<AddressPage>(reader);
}

CString GetIpForwardTableAsHTML()
{
    return readTableAsHTML<RoutePage>();
}

CString GetIpAddrTableAsHTML()
{
    return readTableAsHTML<AddressPage>();
}

CString GetLogFileAsHTML(const CString& path)
{
    static const char kFunction[] = "GetLogFileAsHTML() ";
    CString body;
    // Only a regular file, opened without blocking and never through a
    // link: a FIFO or a device in the log's place must not hang the page.
    struct stat info {};
    UniqueFd opened = openRegularFile(static_cast<const char*>(path), info);
    FILE* file = opened.get() >= 0 ? ::fdopen(opened.get(), "r") : nullptr;
    if (file != nullptr)
        opened.release();
    if (file == nullptr) {
        const int error = errno;
        ULOG_ERROR(kLogFile, kFunction, makeArgFormat("%1, %2, %3", "fopen() failed", error, errorText(error)));
    } else {
        if (std::fseek(file, -kLogTailBytes, SEEK_END) != 0) {
            const int error = errno;
            ULOG_ERROR(kLogFile, kFunction, makeArgFormat("%1, %2, %3", "fseek() failed", error, errorText(error)));
        } else {
            // The tail only, also when the file grows while it is read.
            char piece[1024];
            const long end = std::ftell(file) + kLogTailBytes;
            for (long at = 0; at >= 0 && at < end && std::fgets(piece, sizeof piece, file) != nullptr;
                 at = std::ftell(file)) {
                // The log holds texts from servers and browsers.
                body += "<p>";
                body += htmlEscaped(piece);
                body += "</p>";
            }
        }
        std::fclose(file);
    }
    if (body.IsEmpty())
        body = "<p>Log loading error</p>\n";
    return CString("<html><body>") + body + "</body></html>";
}

int ParseParams(CString params, CArray<CString>& args)
{
    int count = 0;
    while (!params.IsEmpty()) {
        const int at = params.FindOneOf("\"' ");
        if (at < 0) {
            args.Add(params);
            ++count;
            break;
        }
        const char separator = params[at];
        int next = at + 1;
        if (separator == ' ') {
            if (at > 0) {
                args.Add(params.Left(at));
                ++count;
            }
        } else {
            const int close = params.Find(separator, at + 1);
            if (close < 0) {
                ULOG_ERROR(kLogFile, "ParseParams", makeArgFormat("%1, %2", "Bad parameters, unclosed", separator));
                return -1;
            }
            if (close > at + 1) {
                args.Add(params.Mid(at + 1, close - at - 1));
                ++count;
            }
            next = close + 1;
        }
        params = params.Mid(next);
        params.TrimLeft();
    }
    return count;
}

uint32_t getProcessLoginUid(int pid)
{
    return getProcessLoginUid(pid, "/proc");
}

namespace {

// One file of a process folder, at most limit bytes; false when it cannot be read.
bool readProcessFile(int folder, const char* name, size_t limit, std::string& text)
{
    text.clear();
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    bool ok = true;
    while (text.size() < limit) {
        const ssize_t length = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0)
            ok = false;
        if (length <= 0)
            break;
        text.append(buffer, static_cast<size_t>(length));
    }
    ::close(fd);
    return ok;
}

// Digits, then at most a line end. Anything else is no user: reading it as 0
// would make it the super-user.
uint32_t parseLoginUid(const std::string& text)
{
    uint64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > kNoLoginUser)
            return kNoLoginUser;
    }
    if (i == 0)
        return kNoLoginUser;
    for (; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != ' ')
            return kNoLoginUser;
    }
    return static_cast<uint32_t>(value);
}

// The real user id from the "Uid:" line of a process's status.
uint32_t parseRealUid(const std::string& status)
{
    const size_t line = status.find("\nUid:");
    if (line == std::string::npos)
        return kNoLoginUser;
    size_t i = line + 5;
    while (i < status.size() && (status[i] == '\t' || status[i] == ' '))
        ++i;
    size_t end = i;
    while (end < status.size() && status[end] >= '0' && status[end] <= '9')
        ++end;
    if (end == i || end - i > 10 ||
        (end < status.size() && status[end] != '\t' && status[end] != ' ' && status[end] != '\n'))
        return kNoLoginUser;
    const uint64_t value = std::stoull(status.substr(i, end - i));
    return value >= kNoLoginUser ? kNoLoginUser : static_cast<uint32_t>(value);
}

// What is known of the process whose user is to run the program.
struct SessionProcess {
    uint32_t loginUid = kNoLoginUser;
    uint32_t realUid = kNoLoginUser;
    std::vector<std::string> display; // its DISPLAY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR
};

// One process, held from the moment it is named: its folder under the proc
// root, open (the kernel ties such a descriptor to the process, so once the
// process has ended nothing more is read through it, whoever gets its id),
// and its start time, which tells a process that took the id over.
class ProcessFolder
{
public:
    ProcessFolder(int pid, const char* procRoot)
        : m_fd(::open((std::string(procRoot) + "/" + std::to_string(pid)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
          m_startTime(startTime())
    {}

    int fd() const { return m_fd.get(); }
    // False when the process has ended or another one has its id now. A
    // folder without the file (no such process, another root) tells nothing.
    bool unchanged() const { return m_startTime.empty() || (m_startTime != kEnded && startTime() == m_startTime); }

private:
    static constexpr const char* kEnded = "ended";

    // Field 22 of "stat", counted after the command name in parentheses
    // (which may hold anything); kEnded for a process that has ended and
    // not been reaped; empty when the file cannot be read.
    std::string startTime() const
    {
        std::string stat;
        if (m_fd.get() < 0 || !readProcessFile(m_fd.get(), "stat", 4096, stat))
            return std::string();
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            return std::string();
        std::istringstream fields(stat.substr(close + 1));
        std::string field;
        for (int number = 3; number <= 22 && fields >> field; ++number) {
            if (number == 3 && (field == "Z" || field == "X"))
                return kEnded;
            if (number == 22)
                return field;
        }
        return std::string();
    }

    const UniqueFd m_fd;
    const std::string m_startTime;
};

// All read through the process's folder descriptor, so that every file
// belongs to the same process even when its id is taken by another one.
SessionProcess readSessionProcess(const ProcessFolder& process, bool loginUidOnly = false)
{
    SessionProcess session;
    const int folder = process.fd();
    if (folder < 0)
        return session;
    std::string text;
    if (readProcessFile(folder, "loginuid", 31, text))
        session.loginUid = parseLoginUid(text);
    if (!loginUidOnly && readProcessFile(folder, "status", 65536, text))
        session.realUid = parseRealUid("\n" + text);
    if (!loginUidOnly && readProcessFile(folder, "environ", 1 << 20, text)) {
        for (const char* name : {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_RUNTIME_DIR="}) {
            const std::string key(name);
            for (size_t at = 0; at < text.size();) {
                const size_t end = std::min(text.find('\0', at), text.size());
                if (text.compare(at, key.size(), key) == 0) {
                    if (end > at + key.size())
                        session.display.push_back(text.substr(at, end - at));
                    break;
                }
                at = end + 1;
            }
        }
    }
    return session;
}

} // namespace

uint32_t getProcessLoginUid(int pid, const char* procRoot)
{
    const ProcessFolder process(pid, procRoot);
    const uint32_t loginUid = readSessionProcess(process, true).loginUid;
    return process.unchanged() ? loginUid : kNoLoginUser;
}

int RunHV_LaunchApp(const CString& commandLine, int pid)
{
    return RunHV_LaunchApp(commandLine, pid, "/proc");
}

namespace {

constexpr const char* kLaunchFunction = "RunHV_LaunchApp";

// The program and the text of its parameters: a program in double quotes
// runs to the closing quote (none without one), any other to the first
// blank. Quotes and apostrophes are no part of a program's path.
void splitCommandLine(const CString& commandLine, CString& program, CString& params)
{
    CString text = commandLine;
    text.TrimLeft();
    text.TrimRight();
    if (!text.IsEmpty() && text[0] == '"') {
        const int close = text.Find('"', 1);
        if (close > 0) {
            program = text.Mid(1, close - 1);
            params = text.Mid(close + 1);
        }
    } else {
        const int blank = text.Find(' ');
        if (blank < 0) {
            program = text;
        } else {
            program = text.Left(blank);
            params = text.Mid(blank + 1);
        }
    }
    program.Replace("\"", "");
    program.Replace("'", "");
    program.TrimLeft();
    program.TrimRight();
    params.TrimLeft();
    params.TrimRight();
}

// The program's path and then its arguments, each logged; false, with
// "bad param" logged, when there is no program or a quote stays open.
bool launchArguments(const CString& commandLine, std::vector<std::string>& argTexts)
{
    CString program;
    CString params;
    splitCommandLine(commandLine, program, params);
    CArray<CString> args;
    args.Add(program);
    if (program.IsEmpty() || (!params.IsEmpty() && ParseParams(params, args) == -1)) {
        ULOG_ERROR(kLogFile, kLaunchFunction, makeArgFormat("%1, %2", "bad param", commandLine));
        return false;
    }
    for (int i = 0; i < args.GetSize(); ++i)
        argTexts.emplace_back(static_cast<const char*>(args[i]));
    for (size_t i = 0; i < argTexts.size(); ++i)
        ULOG_VERBOSE(kLogFile, kLaunchFunction,
                     makeArgFormat("%1, %2, %3", "param:", static_cast<int>(i), argTexts[i]));
    return true;
}

// Whether the program is there and passes the execute test; "App not
// found:" logged when it does not.
bool launchable(const std::string& program)
{
    struct stat info {};
    if (::stat(program.c_str(), &info) != 0 || !isExecutableFile(info)) {
        ULOG_ERROR(kLogFile, kLaunchFunction, makeArgFormat("%1, %2", "App not found:", program));
        return false;
    }
    return true;
}

// Whom the program runs as, where, and with what environment.
struct LaunchUser {
    UserIdentity identity;
    std::string home = "/";
    std::vector<std::string> environment;
};

// The login user of the process, when it is the user the process runs as
// and is in the password database: never the caller's identity (often the
// super-user) for a process whose login user is not known. A process whose
// login uid is unset may set it itself, to 0 too: it counts only when it is
// the user the process runs as. False, logged, when there is no such user
// or the process ended or was replaced while it was read.
bool launchUser(const ProcessFolder& process, int pid, LaunchUser& user)
{
    const SessionProcess session = readSessionProcess(process);
    if (!process.unchanged()) {
        ULOG_ERROR(kLogFile, kLaunchFunction,
                   makeArgFormat("%1, %2", "Process ended or was replaced while it was read, not launching", pid));
        return false;
    }
    const uint32_t uid = session.loginUid;
    uint32_t gid = kNoLoginUser;
    PasswordEntry entry;
    if (uid != kNoLoginUser && uid == session.realUid && passwordEntry(uid, entry)) {
        user.identity = userIdentity(uid, entry.gid);
        gid = user.identity.gid;
        if (!entry.home.empty())
            user.home = entry.home;
        // The user's own environment, not the caller's (HOME=/root, secrets),
        // with the display of the user's session.
        user.environment = buildUserEnvironment(&entry, session.display, true);
    }
    ULOG_VERBOSE(kLogFile, kLaunchFunction,
                 makeArgFormat("%1, %2, %3", "Launching application with uid, gid", uid, gid));
    if (uid != kNoLoginUser && uid != session.realUid) {
        ULOG_ERROR(kLogFile, kLaunchFunction,
                   makeArgFormat("%1, %2, %3, %4",
                                 "Login user of the process is not the user it runs as, not launching", pid, uid,
                                 session.realUid));
        return false;
    }
    if (uid == kNoLoginUser || gid == kNoLoginUser) {
        ULOG_ERROR(kLogFile, kLaunchFunction,
                   makeArgFormat("%1, %2, %3", "Login user of the process is unknown, not launching", pid, uid));
        return false;
    }
    return true;
}

// A session of its own, away from the caller's terminal, with the signal
// state a fresh login would give it, as the user, in the user's home (the
// root folder when the user may not enter it). The child's id, or -1 with
// the reason logged.
int startAsUser(const std::vector<std::string>& argTexts, const LaunchUser& user)
{
    ChildStart start;
    start.args = argTexts;
    start.identity = &user.identity;
    start.environment = user.environment;
    start.directory = user.home;
    start.ownSession = true;
    const ChildRun run = startProcess(start);
    if (run.forkFailed) {
        ULOG_ERROR(kLogFile, kLaunchFunction, makeArgFormat("%1, %2", "fork() failed", describeErrno(run.error)));
        return -1;
    }
    if (run.pid <= 0) {
        ULOG_ERROR(kLogFile, kLaunchFunction,
                   makeArgFormat("%1, %2", "Could not start application", describeErrno(run.error)));
        return -1;
    }
    if (!run.started()) {
        ULOG_ERROR(
            kLogFile, kLaunchFunction,
            makeArgFormat("%1, %2, %3", "Could not start application", argTexts.front(), describeErrno(run.error)));
        return -1;
    }
    return static_cast<int>(run.pid);
}

} // namespace

int RunHV_LaunchApp(const CString& commandLine, int pid, const char* procRoot)
{
    // The process as it is now: what is read of it below must come from it.
    const ProcessFolder process(pid, procRoot);
    std::vector<std::string> argTexts;
    if (!launchArguments(commandLine, argTexts) || !launchable(argTexts.front()))
        return 0;
    ULOG_VERBOSE(kLogFile, kLaunchFunction,
                 makeArgFormat("%1, %2, %3", "Process id, Parent process id", static_cast<int>(::getpid()),
                               static_cast<int>(::getppid())));
    LaunchUser user;
    if (!launchUser(process, pid, user))
        return 0;
    return startAsUser(argTexts, user);
}
