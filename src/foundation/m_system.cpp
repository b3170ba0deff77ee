#include "foundation/m_system.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <netdb.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "foundation/UException.h"
#include "foundation/UserFiles.h"
#include "tessal_config.h"

bool isSymbolicLink(const char* path)
{
    struct stat info {};
    return path != nullptr && ::lstat(path, &info) == 0 && S_ISLNK(info.st_mode);
}

bool isDirectory(const char* path)
{
    struct stat info {};
    return path != nullptr && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool existsNotFifo(const char* path)
{
    struct stat info {};
    return path != nullptr && ::stat(path, &info) == 0 && (info.st_mode & 0xE000) != 0;
}

time_t modificationTime(const char* path)
{
    struct stat info {};
    if (path == nullptr || ::stat(path, &info) != 0)
        return 0;
    return info.st_mtime;
}

bool installedFromRpm()
{
    struct stat info {};
    return ::stat(TESSAL_SYSTEM_PATH("/opt/tessal/vpn/.rpm"), &info) == 0;
}

bool isAccessible(const char* path, int mode)
{
    return path != nullptr && ::access(path, mode) == 0;
}

unsigned int fileMode(const char* path)
{
    struct stat info {};
    if (path == nullptr || ::stat(path, &info) != 0)
        return 0xFFFFFFFFu;
    return info.st_mode;
}

int makeDirectory(const char* path, mode_t mode)
{
    return ::mkdir(path, mode);
}
int removeDirectory(const char* path)
{
    return ::rmdir(path);
}
int removeFile(const char* path)
{
    return ::remove(path);
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}
int renameFile(const char* oldPath, const char* newPath)
{
    return ::rename(oldPath, newPath);
}
int changeMode(const char* path, mode_t mode)
{
    return ::chmod(path, mode);
}

static bool inGroup(gid_t group)
{
    if (getegid() == group)
        return true;
    int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    count = getgroups(count, groups.data());
    for (int i = 0; i < count; ++i) {
        if (groups[static_cast<size_t>(i)] == group)
            return true;
    }
    return false;
}

bool isExecutableFile(const struct stat& info)
{
    if (!S_ISREG(info.st_mode))
        return false;
    if (geteuid() == 0)
        return (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    if (info.st_uid == geteuid())
        return (info.st_mode & S_IXUSR) != 0;
    if (inGroup(info.st_gid))
        return (info.st_mode & S_IXGRP) != 0;
    return (info.st_mode & S_IXOTH) != 0;
}

CString kernelRelease()
{
    struct utsname names {};
    if (::uname(&names) != 0)
        return CString();
    return CString(names.release);
}

void systemBanner(CString& out)
{
    const CString rule('=', 74);
    out.Empty();
    struct utsname names {};
    if (::uname(&names) != 0)
        std::memset(&names, 0, sizeof(names));
    out += rule;
    out += "\nKernel version: ";
    out += names.version;
    out += "\nSystem: ";
    out += names.sysname;
    out += "\nRelease: ";
    out += names.release;
    out += "\nModel: ";
    out += names.machine;
    out += "\nNode name: ";
    out += names.nodename;
    out += "\n";
    out += rule;
    out += "\n";
}

CString systemBanner()
{
    CString out;
    systemBanner(out);
    return out;
}

int hostName(char* buffer, size_t& size)
{
    if (buffer == nullptr || size == 0 || ::gethostname(buffer, size) != 0)
        return 0;
    buffer[size - 1] = '\0';
    size = std::strlen(buffer);
    return 1;
}

CString hostAddress(const char* name)
{
    if (name == nullptr)
        return CString();
    struct hostent* entry = ::gethostbyname(name);
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr)
        return CString();
    char text[INET6_ADDRSTRLEN] = {};
    if (::inet_ntop(entry->h_addrtype, entry->h_addr_list[0], text, sizeof(text)) == nullptr)
        return CString();
    return CString(text);
}

time_t currentTime()
{
    return ::time(nullptr);
}

long parseLong(const char* text)
{
    if (text == nullptr)
        return 0;
    return std::strtol(text, nullptr, 0);
}

CString intText(int n)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%d", n);
    return CString(text);
}

CString reapChild()
{
    int status = 0;
    pid_t pid = ::waitpid(-1, &status, WNOHANG);
    if (pid <= 0)
        return CString();
    if (!WIFEXITED(status) && !WIFSIGNALED(status))
        return CString();
    return intText(static_cast<int>(pid));
}

long long monotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long descriptorLimit()
{
    rlimit files{};
    return ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
             ? static_cast<long>(files.rlim_cur)
             : 65536;
}

bool restoreChildSignals()
{
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    bool ok = true;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal == SIGKILL || signal == SIGSTOP)
            continue;
        // The C library keeps a few real-time signals for itself (EINVAL).
        if (::sigaction(signal, &standard, nullptr) != 0 && errno != EINVAL)
            ok = false;
    }
    sigset_t none;
    sigemptyset(&none);
    return ::sigprocmask(SIG_SETMASK, &none, nullptr) == 0 && ok;
}

void closeDescriptors(unsigned low, unsigned high, long limit)
{
    if (low > high)
        return;
    if (::close_range(low, high, 0) == 0)
        return;
    for (long fd = low; fd <= static_cast<long>(high) && fd < limit; ++fd)
        ::close(static_cast<int>(fd));
}

void closeDescriptorsOnExec(unsigned low, long limit)
{
    if (::close_range(low, ~0u, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    for (long fd = low; fd < limit; ++fd) {
        const int flags = ::fcntl(static_cast<int>(fd), F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0)
            ::fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
    }
}

namespace {

std::vector<std::string>& rememberedEnvironment()
{
    static std::vector<std::string> remembered;
    return remembered;
}

bool& environmentRemembered()
{
    static bool remembered = false;
    return remembered;
}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> texts;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        texts.emplace_back(*entry);
    return texts;
}

// In a child: writes one number to the starter, going on after interruptions.
void report(int fd, int value)
{
    while (::write(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

// In a child: the error number to the starter, and the end.
[[noreturn]] void failChild(int reportFd)
{
    report(reportFd, errno);
    ::_exit(127);
}

// A descriptor moved to highFrom or above, close-on-exec; the child's own
// copy, so that the numbers below are free to be placed.
int movedAbove(int fd, int highFrom)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, highFrom);
}

// Everything the child needs, made before the fork: after it only
// async-signal-safe calls.
struct PreparedStart {
    std::string program;
    std::vector<std::string> args;
    std::vector<std::string> environment;
    std::vector<char*> argv;
    std::vector<char*> envp;
    std::vector<int> sources; // by target number, -1 for /dev/null or closed
    std::vector<int> moved; // the sources' copies above the targets, made in the child
    int highest = STDERR_FILENO;
    long limit = 0;
    bool superUser = false;
};

// The program's process, after the fork: reports its id, then sets up and
// execs, reporting the error number when a step fails.
[[noreturn]] void runChild(const ChildStart& start, PreparedStart& prepared, int reportFd, int nullFd)
{
    report(reportFd, static_cast<int>(::getpid()));
    if (start.ownSession && !start.detached && ::setsid() < 0)
        failChild(reportFd);
    if (!restoreChildSignals())
        failChild(reportFd);
    if (start.folder >= 0 && ::fchdir(start.folder) != 0)
        failChild(reportFd);
    const int high = prepared.highest + 1;
    reportFd = movedAbove(reportFd, high);
    nullFd = movedAbove(nullFd, high);
    if (reportFd < 0 || nullFd < 0)
        ::_exit(127);
    for (size_t target = 0; target < prepared.sources.size(); ++target) {
        const int source = prepared.sources[target];
        prepared.moved[target] = source >= 0 ? movedAbove(source, high) : -1;
        if (source >= 0 && prepared.moved[target] < 0)
            failChild(reportFd);
    }
    for (size_t target = 0; target < prepared.sources.size(); ++target) {
        const int fd = static_cast<int>(target);
        const int from = prepared.moved[target] >= 0 ? prepared.moved[target] : fd <= STDERR_FILENO ? nullFd : -1;
        if (from < 0)
            ::close(fd);
        else if (::dup2(from, fd) != fd)
            failChild(reportFd);
    }
    // The report goes with exec; nothing else above the handed ones stays.
    closeDescriptorsOnExec(static_cast<unsigned>(high), prepared.limit);
    if (start.identity != nullptr && !becomeUser(*start.identity, prepared.superUser))
        failChild(reportFd);
    if (!start.directory.empty() && ::chdir(start.directory.c_str()) != 0 && ::chdir("/") != 0)
        failChild(reportFd);
    ::execve(prepared.program.c_str(), prepared.argv.data(), prepared.envp.data());
    failChild(reportFd);
}

// Reads up to count numbers from fd until it closes or deadline (-1: none)
// passes; how many came.
size_t readReport(int fd, int* values, size_t count, long long deadline)
{
    size_t got = 0;
    while (got < count * sizeof(int)) {
        if (deadline >= 0) {
            const long long left = deadline - monotonicMs();
            pollfd ready{fd, POLLIN, 0};
            const int rc = left > 0 ? ::poll(&ready, 1, static_cast<int>(std::min(left, 1000000LL))) : 0;
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc <= 0)
                break;
        }
        const ssize_t n = ::read(fd, reinterpret_cast<char*>(values) + got, count * sizeof(int) - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    return got / sizeof(int);
}

void reap(pid_t pid, int* status)
{
    while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

void rememberStartEnvironment()
{
    if (environmentRemembered())
        return;
    rememberedEnvironment() = currentEnvironment();
    environmentRemembered() = true;
}

std::vector<std::string> startEnvironment()
{
    return environmentRemembered() ? rememberedEnvironment() : currentEnvironment();
}

namespace {

// Checks start and builds what the child needs before the fork; an error
// number when it cannot be started.
int prepare(const ChildStart& start, PreparedStart& prepared)
{
    if (start.args.empty())
        return EINVAL;
    prepared.program = start.program.empty() ? start.args.front() : start.program;
    if (prepared.program.empty())
        return EINVAL;
    prepared.args = start.args;
    prepared.environment = start.environment;
    for (std::string& text : prepared.args)
        prepared.argv.push_back(text.data());
    prepared.argv.push_back(nullptr);
    for (std::string& text : prepared.environment)
        prepared.envp.push_back(text.data());
    prepared.envp.push_back(nullptr);
    for (const auto& [source, target] : start.handed) {
        if (source < 0 || target < 0)
            return EBADF;
        prepared.highest = std::max(prepared.highest, target);
    }
    prepared.sources.assign(static_cast<size_t>(prepared.highest) + 1, -1);
    prepared.moved.assign(prepared.sources.size(), -1);
    for (const auto& [source, target] : start.handed)
        prepared.sources[static_cast<size_t>(target)] = source;
    prepared.limit = descriptorLimit();
    prepared.superUser = ::geteuid() == 0;
    return 0;
}

// Forks; in the starter the first process's id. Detached, the middle
// process only starts the program and leaves, so that the program is
// nobody's child here and needs no reaping; it reports -1 and an error
// number when it cannot fork.
pid_t forkChild(const ChildStart& start, PreparedStart& prepared, const int channel[2], int nullFd)
{
    const pid_t first = ::fork();
    if (first != 0)
        return first;
    ::close(channel[0]);
    if (!start.detached)
        runChild(start, prepared, channel[1], nullFd);
    ::setsid();
    const pid_t child = ::fork();
    if (child == 0)
        runChild(start, prepared, channel[1], nullFd);
    if (child < 0) {
        const int error = errno;
        report(channel[1], -1);
        report(channel[1], error);
    }
    ::_exit(0);
}

// Reads what the report channel said (the program's id, then an error
// number when it did not start; the channel closes without one when exec
// succeeded) into run. False when the start failed; the failed child is
// reaped then.
bool takeReport(const ChildStart& start, pid_t first, const int* values, size_t got, bool bounded, ChildRun& run)
{
    run.pid = got >= 1 && values[0] > 0 ? static_cast<pid_t>(values[0]) : start.detached ? -1 : first;
    if (got != 2 && (got >= 1 || bounded) && (!start.detached || run.pid > 0))
        return true;
    run.error = got == 2 && values[1] != 0 ? values[1] : ECHILD;
    run.forkFailed = start.detached && got == 2 && values[0] == -1;
    if (start.detached)
        run.pid = -1;
    else
        reap(first, &run.status);
    return false;
}

// Waits for the program until deadline; one still running then (or
// stopped) holds nobody up: it is killed and reaped.
void waitForEnd(pid_t pid, long long deadline, ChildRun& run)
{
    while (!childHasEnded(pid, run)) {
        if (monotonicMs() >= deadline) {
            killChild(pid, run);
            return;
        }
        ::usleep(2000);
    }
}

} // namespace

bool childHasEnded(pid_t pid, ChildRun& run)
{
    for (;;) {
        const pid_t rc = ::waitpid(pid, &run.status, WNOHANG);
        if (rc == pid) {
            run.ended = true;
            return true;
        }
        if (rc == 0)
            return false;
        if (errno != EINTR) {
            // Reaped by someone else: how it ended is lost.
            run.error = errno;
            return true;
        }
    }
}

void killChild(pid_t pid, ChildRun& run)
{
    ::kill(pid, SIGKILL);
    reap(pid, &run.status);
    run.timedOut = true;
}

ChildRun startProcess(const ChildStart& start)
{
    ChildRun run;
    PreparedStart prepared;
    run.error = prepare(start, prepared);
    if (run.error != 0)
        return run;
    const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    int channel[2] = {-1, -1};
    if (nullFd < 0 || ::pipe2(channel, O_CLOEXEC) != 0) {
        run.error = errno;
        if (nullFd >= 0)
            ::close(nullFd);
        return run;
    }
    const long long bound = start.waitMs >= 0 ? start.waitMs : start.startMs;
    const long long deadline = bound >= 0 ? monotonicMs() + bound : -1;
    const pid_t first = forkChild(start, prepared, channel, nullFd);
    const int forkError = errno;
    ::close(channel[1]);
    ::close(nullFd);
    if (first < 0) {
        ::close(channel[0]);
        run.error = forkError;
        run.forkFailed = true;
        return run;
    }
    int values[2] = {0, 0};
    const size_t got = readReport(channel[0], values, 2, deadline);
    ::close(channel[0]);
    if (start.detached)
        reap(first, nullptr);
    if (takeReport(start, first, values, got, deadline >= 0, run) && start.waitMs >= 0 && !start.detached)
        waitForEnd(first, deadline, run);
    return run;
}

pid_t runShellCommand(const char* command)
{
    ChildStart start;
    start.program = "/bin/sh";
    start.args = {"sh", "-c", command != nullptr ? command : ""};
    const ChildRun run = startProcess(start);
    if (!run.started()) {
        errno = run.error;
        return -1;
    }
    return run.pid;
}

pid_t startDetached(const std::vector<std::string>& args)
{
    ChildStart start;
    start.args = args;
    start.detached = true;
    const ChildRun run = startProcess(start);
    if (!run.started()) {
        errno = run.error;
        return -1;
    }
    return run.pid;
}

const char* formatHttpDate(time_t time)
{
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static char buffer[64];
    struct tm parts {};
    if (::gmtime_r(&time, &parts) == nullptr)
        return nullptr;
    if (parts.tm_wday < 0 || parts.tm_wday > 6 || parts.tm_mon < 0 || parts.tm_mon > 11)
        return nullptr;
    std::snprintf(buffer, sizeof(buffer), "%3s, %02u %3s %04u %02u:%02u:%02u GMT", weekdays[parts.tm_wday],
                  static_cast<unsigned>(parts.tm_mday), months[parts.tm_mon],
                  static_cast<unsigned>(parts.tm_year + 1900), static_cast<unsigned>(parts.tm_hour),
                  static_cast<unsigned>(parts.tm_min), static_cast<unsigned>(parts.tm_sec));
    return buffer;
}

CString SGetModuleFileName()
{
    return SGetModuleFileName([](char* buffer, size_t size) { return ::readlink("/proc/self/exe", buffer, size); });
}

CString SGetModuleFileName(ssize_t (*readLink)(char* buffer, size_t size))
{
    size_t size = 2000;
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::vector<char> buffer(size, '\0');
        ssize_t length = readLink(buffer.data(), buffer.size());
        if (length < 0) {
            char error[16];
            std::snprintf(error, sizeof(error), "%d", errno);
            throw UException(-1, "/m_system", "SGetModuleFileName()", __LINE__, "EXCEPTION - %s, %s",
                             "GetModuleFileName() error ", error);
        }
        if (static_cast<size_t>(length) + 1 < buffer.size())
            return CString(buffer.data());
        size += 10000;
    }
    char allocated[16];
    std::snprintf(allocated, sizeof(allocated), "%u", static_cast<unsigned>(size - 10000));
    throw UException(-1, "/m_system", "SGetModuleFileName()", __LINE__, "EXCEPTION - %s, %s",
                     "path is too big (allocated memory)", allocated);
}

CString SGetModuleFolder()
{
    CString path = SGetModuleFileName();
    int slash = path.ReverseFind('/');
    if (slash < 0)
        return CString();
    return path.Left(slash);
}
