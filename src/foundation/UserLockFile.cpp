#include "foundation/UserLockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/LogSettings.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

namespace {

const char kProgramFolder[] = ".TessalNetworks";
// Holders of the socket lock that are told apart by their credentials are
// connected to, never accepted: room for that many at once.
const int kSocketBacklog = 64;

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

namespace {

socklen_t abstractAddress(const std::string& name, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    const size_t length = std::min(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

// Whether the socket bound to the name belongs to a process of the effective
// user. A name bound but not listened on, or whose holder cannot be asked,
// is not ours: our holders listen from the moment they bind, and a wait for
// someone else's name would never end.
bool heldByOwnUser(const sockaddr_un& address, socklen_t length)
{
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (probe.get() < 0)
        return true; // nothing learnt: wait as for our own
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0)
        return false;
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(probe.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

} // namespace

bool UUserLockFile::trySocketLock()
{
    sockaddr_un address{};
    const socklen_t length = abstractAddress(m_socketName, address);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        m_error = reason("lock socket", std::strerror(errno));
        return false;
    }
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
        ::listen(fd.get(), kSocketBacklog) == 0) {
        m_socket = fd.release();
        return true;
    }
    if (errno != EADDRINUSE) {
        m_error = reason("lock socket", std::strerror(errno));
        return false;
    }
    // Asked once per object: each probe stays queued at the holder.
    if (!m_foreignHolder && !heldByOwnUser(address, length)) {
        m_foreignHolder = true;
        m_error = reason("lock socket", "held by another user");
    }
    return false;
}

UUserLockFile::UUserLockFile(const char* name, Fallback fallback)
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
    else if (fallback == Fallback::UserSocket)
        m_socketName = "tessalvpn-" + std::to_string(::geteuid()) + "-" + name;
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
    if (m_file < 0) {
        m_locked = !m_socketName.empty() && !m_foreignHolder && trySocketLock();
        return m_locked;
    }
    int rc = 0;
    do {
        rc = ::flock(m_file, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    m_locked = rc == 0;
    if (!m_locked && errno != EWOULDBLOCK)
        m_error = reason("lock", std::strerror(errno));
    return m_locked;
}

void UUserLockFile::unlock()
{
    if (!m_locked)
        return;
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    } else {
        ::flock(m_file, LOCK_UN);
    }
    m_locked = false;
}
