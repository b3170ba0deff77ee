#include "foundation/m_system.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "foundation/UException.h"

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

int makeDirectory(const char* path, mode_t mode) { return ::mkdir(path, mode); }
int removeDirectory(const char* path) { return ::rmdir(path); }
int removeFile(const char* path) { return ::remove(path); }

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
int renameFile(const char* oldPath, const char* newPath) { return ::rename(oldPath, newPath); }
int changeMode(const char* path, mode_t mode) { return ::chmod(path, mode); }

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

time_t currentTime() { return ::time(nullptr); }

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
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long descriptorLimit()
{
    rlimit files {};
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

bool prepareChild(long limit)
{
    const bool signalsOk = restoreChildSignals();
    closeDescriptorsOnExec(STDERR_FILENO + 1, limit);
    return signalsOk;
}

int addChildSetUp(posix_spawnattr_t* attributes, posix_spawn_file_actions_t* actions)
{
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    int rc = ::posix_spawnattr_setsigdefault(attributes, &all);
    if (rc == 0)
        rc = ::posix_spawnattr_setsigmask(attributes, &none);
    if (rc == 0)
        rc = ::posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    if (rc == 0)
        rc = ::posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);
    return rc;
}

pid_t runShellCommand(const char* command)
{
    if (command == nullptr)
        command = "";
    const long limit = descriptorLimit();
    pid_t pid = ::fork();
    if (pid == 0) {
        // The program gets the standard descriptors only, and the signal
        // state it would get from a shell of its own.
        prepareChild(limit);
        ::execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
        // Never run the parent's exit handlers or flush its stdio buffers a second time.
        ::_exit(127);
    }
    return pid;
}

namespace {

// In a child: writes one number to the starter, going on after interruptions.
void report(int fd, int value)
{
    while (::write(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

} // namespace

pid_t startDetached(const std::vector<std::string>& args)
{
    if (args.empty() || args.front().empty()) {
        errno = EINVAL;
        return -1;
    }
    // Everything the children use is made before the fork: they may only
    // make async-signal-safe calls.
    std::vector<std::string> texts(args);
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    const long limit = descriptorLimit();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;

    // The middle process only starts the program and leaves, so that the
    // program is nobody's child here and needs no reaping. The program
    // reports its id, then an error number when exec fails; the middle one
    // -1 and an error number when it cannot fork.
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0) {
            report(pipeFds[1], static_cast<int>(::getpid()));
            prepareChild(limit);
            ::execv(argv[0], argv.data());
            report(pipeFds[1], errno);
            ::_exit(127);
        }
        if (child < 0) {
            const int error = errno;
            report(pipeFds[1], -1);
            report(pipeFds[1], error);
        }
        ::_exit(0);
    }
    const int forkError = errno;
    ::close(pipeFds[1]);
    if (middle < 0) {
        ::close(pipeFds[0]);
        errno = forkError;
        return -1;
    }
    int values[2] = {0, 0};
    size_t got = 0;
    while (got < sizeof values) {
        const ssize_t n = ::read(pipeFds[0], reinterpret_cast<char*>(values) + got, sizeof values - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(pipeFds[0]);
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (got < sizeof values[0] || values[0] <= 0) {
        errno = got == sizeof values && values[1] != 0 ? values[1] : ECHILD;
        return -1;
    }
    if (got == sizeof values) {
        errno = values[1];
        return -1;
    }
    return static_cast<pid_t>(values[0]);
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
    std::snprintf(buffer, sizeof(buffer), "%3s, %02u %3s %04u %02u:%02u:%02u GMT",
                  weekdays[parts.tm_wday], static_cast<unsigned>(parts.tm_mday), months[parts.tm_mon],
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
