#include "foundation/UserLockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/LogSettings.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

namespace {

const char kProgramFolder[] = ".TessalNetworks";
const int kLockRetryMs = 10;

std::string reason(const std::string& path, const char* what)
{
    return path + ": " + what;
}

// The effective user's own folder, which nobody else may change.
bool isOwnFolder(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// fd when it is the user's own folder; otherwise closed, and why says why.
int keepOwnFolder(int fd, int error, const std::string& path, std::string& why)
{
    if (fd < 0) {
        why = reason(path, std::strerror(error));
        return -1;
    }
    if (!isOwnFolder(fd)) {
        ::close(fd);
        why = reason(path, "not the user's own folder");
        return -1;
    }
    return fd;
}

int openOwnFolder(const std::string& path, std::string& why)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return keepOwnFolder(fd, errno, path, why);
}

// "<home>/.TessalNetworks", made (0700) when it is missing and the home
// folder is the user's own.
int openProgramFolder(const std::string& home, std::string& why)
{
    if (home.empty() || home[0] != '/') {
        why = "no home folder";
        return -1;
    }
    const int homeFd = ::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (homeFd < 0) {
        why = reason(home, std::strerror(errno));
        return -1;
    }
    int fd = ::openat(homeFd, kProgramFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        struct stat info {};
        if (::fstat(homeFd, &info) == 0 && info.st_uid == ::geteuid() &&
            (::mkdirat(homeFd, kProgramFolder, 0700) == 0 || errno == EEXIST))
            fd = ::openat(homeFd, kProgramFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    const int error = errno;
    ::close(homeFd);
    return keepOwnFolder(fd, error, home + "/" + kProgramFolder, why);
}

std::string effectiveUsersHome()
{
    PasswordEntry entry;
    return passwordEntry(::geteuid(), entry) ? entry.home : std::string();
}

} // namespace

namespace {

// Each usable lock folder in order, until use(fd, why) keeps one (true).
// Folders not kept are closed.
template <typename Use>
bool forEachLockFolder(std::string& reasons, Use use)
{
    std::string failed;
    auto offer = [&](int fd) {
        if (fd >= 0 && use(fd, failed))
            return true;
        if (fd >= 0)
            ::close(fd);
        reasons += (reasons.empty() ? "" : "; ") + failed;
        return false;
    };
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && offer(openOwnFolder(runtime, failed)))
        return true;
    // HOME first, as for the log; then the effective user's own entry (a run
    // with root's credentials and a user's HOME).
    const std::string home = static_cast<const char*>(getHomeFolder());
    for (const std::string& candidate : {home, effectiveUsersHome()})
        if (offer(openProgramFolder(candidate, failed)))
            return true;
    return false;
}

} // namespace

int openUserLockFolder(std::string* why)
{
    std::string reasons;
    int kept = -1;
    forEachLockFolder(reasons, [&](int fd, std::string&) {
        kept = fd;
        return true;
    });
    if (kept < 0 && why != nullptr)
        *why = reasons;
    return kept;
}

UUserLockFile::UUserLockFile(const char* name)
{
    // A folder where the file cannot be made (read-only, full, not writable)
    // hands over to the next one.
    forEachLockFolder(m_error, [&](int folder, std::string& why) {
        const int file = ::openat(folder, name, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (file < 0) {
            why = reason(name, std::strerror(errno));
            return false;
        }
        struct stat info {};
        if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            ::close(file);
            why = reason(name, "not a regular file of the user's own");
            return false;
        }
        m_folder = folder;
        m_file = file;
        return true;
    });
    if (m_file >= 0)
        m_error.clear();
}

UUserLockFile::~UUserLockFile()
{
    unlock();
    if (m_file >= 0)
        ::close(m_file);
    if (m_folder >= 0)
        ::close(m_folder);
}

bool UUserLockFile::tryLock()
{
    if (m_locked)
        return true;
    if (m_file < 0)
        return false;
    int rc = 0;
    do {
        rc = ::flock(m_file, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    m_locked = rc == 0;
    if (!m_locked && errno != EWOULDBLOCK)
        m_error = reason("lock", std::strerror(errno));
    return m_locked;
}

bool UUserLockFile::lockWithin(int ms)
{
    const long long deadline = monotonicMs() + ms;
    while (!tryLock()) {
        if (m_file < 0 || monotonicMs() >= deadline)
            return false;
        ::usleep(kLockRetryMs * 1000);
    }
    return true;
}

void UUserLockFile::unlock()
{
    if (!m_locked)
        return;
    ::flock(m_file, LOCK_UN);
    m_locked = false;
}
