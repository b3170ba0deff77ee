#include "foundation/CompanionProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

namespace {

constexpr int kSlots = 16;
constexpr size_t kNameSize = 64;
constexpr size_t kPathSize = 512;

enum SlotState : int { Free = 0, Filling = 1, Ready = 2 };

struct Slot {
    std::atomic<int> state{Free};
    pid_t pid = 0;
    char name[kNameSize] = {};
    char pidFile[kPathSize] = {};
};

static_assert(std::atomic<int>::is_always_lock_free, "read inside a signal handler");

Slot g_slots[kSlots];
// Registrations come from more than one thread; the stop takes no lock.
std::mutex g_registering;

const char* fileName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void copyText(char* to, size_t size, const char* from)
{
    const size_t length = std::min(std::strlen(from), size - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

int claim(pid_t pid, const char* program, const char* pidFile)
{
    if (program == nullptr)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (slot.state.load(std::memory_order_relaxed) != Free)
            continue;
        slot.state.store(Filling, std::memory_order_relaxed);
        slot.pid = pid;
        copyText(slot.name, sizeof slot.name, fileName(program));
        copyText(slot.pidFile, sizeof slot.pidFile, pidFile != nullptr ? pidFile : "");
        slot.state.store(Ready, std::memory_order_release);
        return i;
    }
    return -1;
}

// Reads up to size - 1 bytes of a file; -1 when it cannot be read.
ssize_t readSmallFile(const char* path, char* buffer, size_t size)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    ssize_t total = 0;
    while (static_cast<size_t>(total) < size - 1) {
        const ssize_t n = ::read(fd, buffer + total, size - 1 - static_cast<size_t>(total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    buffer[total] = '\0';
    return total;
}

// Whether the process's first argument has the given file name.
bool runsProgram(pid_t pid, const char* name)
{
    char path[32] = "/proc/";
    char digits[16];
    int count = 0;
    for (unsigned long value = static_cast<unsigned long>(pid); value != 0 || count == 0; value /= 10)
        digits[count++] = static_cast<char>('0' + value % 10);
    size_t at = std::strlen(path);
    while (count > 0)
        path[at++] = digits[--count];
    std::memcpy(path + at, "/cmdline", sizeof "/cmdline");

    char command[512];
    if (readSmallFile(path, command, sizeof command) <= 0)
        return false;
    return std::strcmp(fileName(command), name) == 0;
}

} // namespace

int parsePidText(const char* text)
{
    if (text == nullptr)
        return 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const char* p = text;
    while (blank(*p))
        ++p;
    if (*p < '0' || *p > '9')
        return 0;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX)
            return 0;
    }
    while (blank(*p))
        ++p;
    return *p == '\0' && value > 1 ? static_cast<int>(value) : 0;
}

pid_t readPidFile(const char* path)
{
    char text[64];
    if (readSmallFile(path, text, sizeof text) < 0)
        return -1;
    return parsePidText(text);
}

int watchCompanionProcess(pid_t pid, const char* program)
{
    if (pid <= 1)
        return -1;
    std::lock_guard<std::mutex> lock(g_registering);
    return claim(pid, program, nullptr);
}

int watchCompanionPidFile(const char* pidFile, const char* program)
{
    if (pidFile == nullptr || *pidFile == '\0')
        return -1;
    std::lock_guard<std::mutex> lock(g_registering);
    for (int i = 0; i < kSlots; ++i)
        if (g_slots[i].state.load(std::memory_order_relaxed) == Ready && std::strcmp(g_slots[i].pidFile, pidFile) == 0)
            return i;
    return claim(0, program, pidFile);
}

void forgetCompanion(int handle)
{
    if (handle < 0 || handle >= kSlots)
        return;
    std::lock_guard<std::mutex> lock(g_registering);
    g_slots[handle].state.store(Free, std::memory_order_release);
}

void forgetCompanionProcess(pid_t pid)
{
    std::lock_guard<std::mutex> lock(g_registering);
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_relaxed) == Ready && slot.pidFile[0] == '\0' && slot.pid == pid)
            slot.state.store(Free, std::memory_order_release);
}

void forgetCompanionPidFile(const char* pidFile)
{
    if (pidFile == nullptr)
        return;
    std::lock_guard<std::mutex> lock(g_registering);
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_relaxed) == Ready && std::strcmp(slot.pidFile, pidFile) == 0)
            slot.state.store(Free, std::memory_order_release);
}

int stopCompanionProcesses()
{
    const int savedErrno = errno;
    int signalled = 0;
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) != Ready)
            continue;
        const pid_t pid = slot.pidFile[0] != '\0' ? readPidFile(slot.pidFile) : slot.pid;
        if (pid > 1 && pid != ::getpid() && runsProgram(pid, slot.name) && ::kill(pid, SIGTERM) == 0)
            ++signalled;
    }
    errno = savedErrno;
    return signalled;
}
