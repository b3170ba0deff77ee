// tessal_private_network COMMAND [ARGUMENT...]
// Runs COMMAND with a network of its own (loopback up), so that the svpn
// daemon's fixed port 127.0.0.1:44444 is nobody else's: not another test's,
// another checkout's, a demo's, a benchmark's or a real daemon's. It also
// gets processes of its own (nothing it leaves outlives it, and it sees no
// other test's daemon) and its own copies of the build's svpn folders (the
// stand-in, its script and record, the pid file), so that such commands run
// side by side. Where no namespace can be made it waits for the one lock
// every test, demo and benchmark of any checkout takes, and holds it until
// COMMAND ends. Either way it refuses at once, naming the holder, when the
// port is taken.

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "PrivateNetwork.h"
#include "tessal_config.h"

namespace {

constexpr unsigned short kSvpnPort = 44444;
constexpr const char* kPortLock = "/tmp/tessal-svpn-port-44444.lock";
// A test of another checkout holds the lock for its own run only.
constexpr auto kLockWait = std::chrono::seconds(60);

pid_t g_command = 0;

void forward(int signal)
{
    if (g_command > 0)
        ::kill(g_command, signal);
}

bool writeFile(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

// New network, mount and pid namespaces, in a user namespace of its own
// (with the same ids) where the user may not make them alone. Empty: done.
std::string enterNamespaces()
{
    const int flags = CLONE_NEWNET | CLONE_NEWNS | CLONE_NEWPID;
    if (::unshare(flags) != 0) {
        const std::string refused = std::strerror(errno);
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | flags) != 0)
            return "no namespaces (" + refused + "), nor in a user namespace (" + std::strerror(errno) + ")";
        if (!writeFile("/proc/self/setgroups", "deny") ||
            !writeFile("/proc/self/uid_map", std::to_string(uid) + ' ' + std::to_string(uid) + " 1") ||
            !writeFile("/proc/self/gid_map", std::to_string(gid) + ' ' + std::to_string(gid) + " 1"))
            return std::string("cannot map the user namespace's ids: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make the mounts private: ") + std::strerror(errno);
    return tessal::test::setLoopbackUp();
}

void makeFolders(const std::string& path)
{
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0755);
    ::mkdir(path.c_str(), 0755);
}

// An empty folder of this mount namespace over path, holding copies of the
// files named in keep.
std::string privateFolder(const std::string& path, const char* keep)
{
    makeFolders(path);
    const int original = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (original < 0 || ::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0)
        return path + ": " + std::strerror(errno);
    std::string failure;
    if (keep != nullptr) {
        const int in = ::openat(original, keep, O_RDONLY | O_CLOEXEC);
        struct stat file {};
        if (in >= 0 && ::fstat(in, &file) == 0) {
            const int out =
                ::open((path + '/' + keep).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, file.st_mode & 07777);
            char buffer[65536];
            ssize_t n = 0;
            while (out >= 0 && (n = ::read(in, buffer, sizeof buffer)) > 0)
                if (::write(out, buffer, static_cast<size_t>(n)) != n)
                    n = -1;
            if (out < 0 || n < 0)
                failure = path + '/' + keep + ": " + std::strerror(errno);
            if (out >= 0)
                ::close(out);
        }
        if (in >= 0)
            ::close(in);
    }
    ::close(original);
    return failure;
}

// Who holds the flock on fd's file, from /proc/locks
// ("1: FLOCK  ADVISORY  WRITE <pid> <major>:<minor>:<inode> 0 EOF").
std::string lockHolder(int fd)
{
    struct stat file {};
    std::ifstream locks("/proc/locks");
    std::string line;
    while (::fstat(fd, &file) == 0 && std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string slot, kind, advisory, mode, pid, device;
        fields >> slot >> kind >> advisory >> mode >> pid >> device;
        if (kind != "FLOCK" || device.substr(device.rfind(':') + 1) != std::to_string(file.st_ino))
            continue;
        std::string name;
        std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
        return "pid " + pid + " (" + name + ")";
    }
    return "a process this user cannot see";
}

int exitCodeOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The first process of the new pid namespace: mounts its /proc and the svpn
// folders, starts COMMAND, passes it the signals it gets and reaps every
// orphan until COMMAND ends. Whatever is left goes with it.
int runAsInit(char** command)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        std::perror("tessal_private_network: /proc");
        return 1;
    }
    for (const std::string& failure :
         {privateFolder(TESSAL_SYSTEM_PATH("/opt/tessal/vpn"), "svpn"),
          privateFolder(TESSAL_SYSTEM_PATH("/usr/local/lib/TessalNetworks/SSLVPN/var/run"), nullptr)})
        if (!failure.empty()) {
            std::fprintf(stderr, "tessal_private_network: %s\n", failure.c_str());
            return 1;
        }
    g_command = ::fork();
    if (g_command == 0) {
        ::execvp(command[0], command);
        std::perror(command[0]);
        _exit(127);
    }
    for (;;) {
        int status = 0;
        const pid_t pid = ::wait(&status);
        if (pid == g_command)
            return exitCodeOf(status);
        if (pid < 0 && errno != EINTR)
            return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    const std::string why = enterNamespaces();
    if (why.empty()) {
        struct sigaction action {};
        action.sa_handler = forward;
        for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
            ::sigaction(signal, &action, nullptr);
        const pid_t init = ::fork();
        if (init == 0)
            _exit(runAsInit(argv + 1));
        g_command = init;
        int status = 0;
        while (::waitpid(init, &status, 0) < 0 && errno == EINTR) {
        }
        return exitCodeOf(status);
    }
    // No O_CLOEXEC: COMMAND holds the lock until it ends.
    const int lock = ::open(kPortLock, O_CREAT | O_RDWR, 0666);
    if (lock < 0) {
        std::perror(kPortLock);
        return 1;
    }
    const auto end = std::chrono::steady_clock::now() + kLockWait;
    while (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= end) {
            std::fprintf(stderr, "%s: %s; %s still held by %s\n", argv[0], why.c_str(), kPortLock,
                         lockHolder(lock).c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string holder = tessal::test::portHolder(kSvpnPort);
    if (!holder.empty()) {
        std::fprintf(stderr, "%s: 127.0.0.1:%u is held by %s\n", argv[0], kSvpnPort, holder.c_str());
        return 1;
    }
    ::execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
