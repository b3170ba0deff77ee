#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

#include <dirent.h>

#include <fcntl.h>
#include <grp.h>
#include <linux/keyctl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// As many links as the kernel follows in one path.
constexpr int kLinkLimit = 40;

void appendComponents(const std::string& path, std::deque<std::string>& out, bool front)
{
    std::deque<std::string> parts;
    for (size_t at = 0; at <= path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(at, end - at);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        at = end + 1;
    }
    if (front)
        out.insert(out.begin(), parts.begin(), parts.end());
    else
        out.insert(out.end(), parts.begin(), parts.end());
}

// A folder made by root in a folder another user controls becomes that
// user's before anything is put in it; something else put at the name in
// between is left alone.
void handOver(int folder, const std::string& name, const struct stat& owner)
{
    const UniqueFd made(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (made.get() < 0 || ::fstat(made.get(), &info) != 0 || info.st_uid != ::geteuid())
        return;
    if (::fchown(made.get(), owner.st_uid, owner.st_gid) != 0) {
        // The folder stays empty and root's; what goes in it fails later.
    }
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0) {
        const int saved = errno;
        ::close(m_fd);
        errno = saved;
    }
    m_fd = fd;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

UniqueFd openParentFolder(const std::string& path, std::string& base)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0                 ? std::string("/")
                                                          : path.substr(0, slash);
    base = slash == std::string::npos ? path : path.substr(slash + 1);
    return UniqueFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

UniqueFd openRegularFileAt(int folder, const std::string& name, struct stat& info)
{
    UniqueFd file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return file;
    if (::fstat(file.get(), &info) != 0)
        return UniqueFd();
    if (!S_ISREG(info.st_mode)) {
        file.reset();
        errno = EINVAL;
        return file;
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return UniqueFd();
    return file;
}

UniqueFd openRegularFile(const std::string& path, struct stat& info)
{
    std::string base;
    const UniqueFd folder = openParentFolder(path, base);
    if (folder.get() < 0)
        return UniqueFd();
    return openRegularFileAt(folder.get(), base, info);
}

bool readRegularFileAt(int folder, const std::string& name, size_t limit, std::string& text)
{
    struct stat info {};
    const UniqueFd file = openRegularFileAt(folder, name, info);
    if (file.get() < 0)
        return false;
    if (static_cast<unsigned long long>(info.st_size) > limit) {
        errno = EFBIG;
        return false;
    }
    std::string read;
    read.reserve(static_cast<size_t>(info.st_size));
    if (!readInPieces(file.get(), limit, [&read](const char* piece, size_t size) {
            read.append(piece, size);
            return true;
        }))
        return false;
    text.swap(read);
    return true;
}

bool readInPieces(int fd, size_t limit, const std::function<bool(const char*, size_t)>& take)
{
    char buffer[8192];
    for (size_t total = 0;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        // Also a file that grows while it is read ends here.
        total += static_cast<size_t>(n);
        if (total > limit) {
            errno = EFBIG;
            return false;
        }
        if (!take(buffer, static_cast<size_t>(n)))
            return false;
    }
}

UniqueFd openUserFileAt(int folder, const std::string& name, uid_t owner, struct stat& info)
{
    UniqueFd file = openRegularFileAt(folder, name, info);
    if (file.get() >= 0 && owner != static_cast<uid_t>(-1) && info.st_uid != owner) {
        file.reset();
        errno = EPERM;
    }
    return file;
}

bool isPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

namespace {

const char kReplacementMark[] = ".tessal-";
constexpr size_t kReplacementLetters = 10;

std::string replacementPrefix(const std::string& name)
{
    return "." + name + kReplacementMark;
}

} // namespace

bool isReplacementOf(const std::string& entry, const std::string& name)
{
    const std::string prefix = replacementPrefix(name);
    return entry.size() > prefix.size() && entry.compare(0, prefix.size(), prefix) == 0 &&
           entry.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", prefix.size()) ==
               std::string::npos;
}

bool replaceFileAt(int folder, const std::string& name, const std::string& text, const Replacement& how)
{
    if (!isPlainFileName(name)) {
        errno = EINVAL;
        return false;
    }
    // Only a regular file of the owner's is replaced: a link, a folder or
    // another user's file at the name stays as it is.
    struct stat present {};
    if (::fstatat(folder, name.c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(present.st_mode)) {
            errno = EINVAL;
            return false;
        }
        if (how.owner != static_cast<uid_t>(-1) && present.st_uid != how.owner) {
            errno = EPERM;
            return false;
        }
    } else if (errno != ENOENT || how.mustExist) {
        return false;
    }

    std::string temporary;
    UniqueFd out;
    for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
        temporary = randomName(replacementPrefix(name), kReplacementLetters);
        if (temporary.empty())
            return false;
        out.reset(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           S_IRUSR | S_IWUSR));
        if (out.get() < 0 && errno != EEXIST)
            return false;
    }
    if (out.get() < 0)
        return false;

    // Locked while it is written, so that no sweep takes it for a leftover;
    // the owner's before it holds a byte, and never with the setuid, setgid
    // or sticky bits, whatever fails on the way.
    int error = 0;
    if (::flock(out.get(), LOCK_EX) != 0)
        error = errno;
    else if (::geteuid() == 0 && how.uid != static_cast<uid_t>(-1) && how.changeOwner(out.get(), how.uid, how.gid) != 0)
        error = errno;
    else if (!writeAll(out.get(), text))
        error = errno;
    else if (::fchmod(out.get(), how.mode & 0777) != 0)
        error = errno;
    else if (::fsync(out.get()) != 0)
        error = errno;
    else if (::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(folder, temporary.c_str(), 0);
        errno = error;
        return false;
    }
    // Closed only once in place; its bytes already reached the disk.
    out.reset();
    const UniqueFd synced(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (synced.get() >= 0)
        ::fsync(synced.get());
    return true;
}

void removeStaleReplacements(int folder, const std::string& name, uid_t owner)
{
    UniqueFd listing(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* entries = listing.get() >= 0 ? ::fdopendir(listing.get()) : nullptr;
    if (entries == nullptr)
        return;
    listing.release();
    std::vector<std::string> stale;
    while (const struct dirent* entry = ::readdir(entries)) {
        if (isReplacementOf(entry->d_name, name))
            stale.push_back(entry->d_name);
    }
    ::closedir(entries);

    for (const std::string& temporary : stale) {
        // Only regular files of ours or the owner's; a device is never opened.
        struct stat before {};
        if (::fstatat(folder, temporary.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(before.st_mode) ||
            (before.st_uid != ::geteuid() && before.st_uid != owner))
            continue;
        const UniqueFd file(::openat(folder, temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat status {};
        if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || status.st_ino != before.st_ino ||
            status.st_dev != before.st_dev)
            continue;
        // A write still running holds its replacement locked.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(folder, temporary.c_str(), 0);
    }
}

UniqueFd createFreeFileAt(int folder, const std::string& name, mode_t mode, std::string& taken)
{
    taken.clear();
    if (!isPlainFileName(name)) {
        errno = EINVAL;
        return UniqueFd();
    }
    // "app.deb", "app (1).deb", ...; a leading dot starts no extension.
    const size_t dot = name.rfind('.');
    const bool extension = dot != std::string::npos && dot > 0;
    const std::string stem = extension ? name.substr(0, dot) : name;
    const std::string tail = extension ? name.substr(dot) : std::string();
    for (int n = 0; n < kFreeNameTries; ++n) {
        const std::string candidate = n == 0 ? name : stem + " (" + std::to_string(n) + ")" + tail;
        UniqueFd file(::openat(folder, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (file.get() >= 0)
            taken = candidate;
        if (file.get() >= 0 || errno != EEXIST)
            return file;
    }
    errno = EEXIST;
    return UniqueFd();
}

std::string randomName(const std::string& prefix, size_t count)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::vector<unsigned char> random(count);
    if (::getrandom(random.data(), count, 0) != static_cast<ssize_t>(count))
        return std::string();
    std::string name = prefix;
    for (const unsigned char c : random)
        name += kLetters[c % (sizeof kLetters - 1)];
    return name;
}

bool readRegularFile(const std::string& path, size_t limit, std::string& text)
{
    std::string base;
    const UniqueFd folder = openParentFolder(path, base);
    if (folder.get() < 0)
        return false;
    return readRegularFileAt(folder.get(), base, limit, text);
}

bool controlledByOthers(const struct stat& folder)
{
    if (::geteuid() != 0)
        return false;
    if (folder.st_uid != 0)
        return true;
    return (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (folder.st_mode & S_ISVTX) == 0;
}

UniqueFd openFolder(const std::string& path, bool create, mode_t mode, FolderFacts* facts)
{
    FolderFacts seen;
    const auto done = [&](UniqueFd fd) {
        if (facts != nullptr)
            *facts = seen;
        return fd;
    };
    if (path.empty()) {
        errno = ENOENT;
        return done(UniqueFd());
    }
    std::deque<std::string> rest;
    appendComponents(path, rest, false);
    UniqueFd folder(::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || ::fstat(folder.get(), &seen.info) != 0)
        return done(UniqueFd());
    seen.othersOnTheWay = controlledByOthers(seen.info);
    int links = 0;
    int made = 0;
    while (!rest.empty()) {
        const std::string name = rest.front();
        const bool others = controlledByOthers(seen.info);
        if (name == ".." && others) {
            errno = EACCES;
            return done(UniqueFd());
        }
        UniqueFd next(::openat(folder.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0 && errno == ENOENT && create && ++made <= 1000) {
            if (::mkdirat(folder.get(), name.c_str(), mode) == 0) {
                if (others)
                    handOver(folder.get(), name, seen.info);
            } else if (errno != EEXIST) {
                return done(UniqueFd());
            }
            continue; // looked up again: whatever is there now
        }
        struct stat info {};
        if (next.get() < 0 || ::fstat(next.get(), &info) != 0)
            return done(UniqueFd());
        if (S_ISLNK(info.st_mode)) {
            if (others || ++links > kLinkLimit) {
                errno = ELOOP;
                return done(UniqueFd());
            }
            char target[4096];
            const ssize_t length = ::readlinkat(next.get(), "", target, sizeof target);
            if (length <= 0 || static_cast<size_t>(length) >= sizeof target) {
                errno = length < 0 ? errno : ENAMETOOLONG;
                return done(UniqueFd());
            }
            rest.pop_front();
            appendComponents(std::string(target, static_cast<size_t>(length)), rest, true);
            if (target[0] == '/') {
                folder.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                if (folder.get() < 0 || ::fstat(folder.get(), &seen.info) != 0)
                    return done(UniqueFd());
                seen.othersOnTheWay = seen.othersOnTheWay || controlledByOthers(seen.info);
            }
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            errno = ENOTDIR;
            return done(UniqueFd());
        }
        rest.pop_front();
        folder = std::move(next);
        seen.info = info;
        seen.othersOnTheWay = seen.othersOnTheWay || controlledByOthers(info);
    }
    return done(UniqueFd(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
}

bool othersControlPath(const std::string& path)
{
    if (::geteuid() != 0)
        return false;
    FolderFacts facts;
    const UniqueFd folder = openFolder(path, false, 0, &facts);
    return facts.othersOnTheWay || (folder.get() < 0 && (errno == ELOOP || errno == EACCES));
}

namespace {

// One password-database look-up: by uid when name is null, else by name.
bool lookUpPasswordEntry(uid_t uid, const char* name, PasswordEntry& entry)
{
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    struct passwd record {};
    struct passwd* found = nullptr;
    const int error = name == nullptr ? ::getpwuid_r(uid, &record, buffer.data(), buffer.size(), &found)
                                      : ::getpwnam_r(name, &record, buffer.data(), buffer.size(), &found);
    if (error != 0 || found == nullptr)
        return false;
    entry.name = found->pw_name != nullptr ? found->pw_name : "";
    entry.home = found->pw_dir != nullptr ? found->pw_dir : "";
    entry.shell = found->pw_shell != nullptr ? found->pw_shell : "";
    entry.uid = found->pw_uid;
    entry.gid = found->pw_gid;
    return true;
}

} // namespace

bool passwordEntry(uid_t uid, PasswordEntry& entry)
{
    return lookUpPasswordEntry(uid, nullptr, entry);
}

bool passwordEntry(const std::string& name, PasswordEntry& entry)
{
    return lookUpPasswordEntry(0, name.c_str(), entry);
}

UserIdentity userIdentity(uid_t uid, gid_t group)
{
    UserIdentity identity;
    identity.uid = uid;
    identity.gid = group;
    PasswordEntry entry;
    if (passwordEntry(uid, entry)) {
        identity.gid = entry.gid;
        int count = 64;
        identity.groups.resize(static_cast<size_t>(count));
        while (::getgrouplist(entry.name.c_str(), entry.gid, identity.groups.data(), &count) < 0 &&
               static_cast<size_t>(count) > identity.groups.size())
            identity.groups.resize(static_cast<size_t>(count));
        identity.groups.resize(static_cast<size_t>(count > 0 ? count : 0));
    }
    if (identity.groups.empty())
        identity.groups.push_back(identity.gid);
    return identity;
}

bool becomeUser(const UserIdentity& identity, bool superUser)
{
    uid_t real = 0, effective = 0, saved = 0;
    if ((superUser && ::setgroups(identity.groups.size(), identity.groups.data()) != 0) ||
        ::setresgid(identity.gid, identity.gid, identity.gid) != 0 ||
        ::setresuid(identity.uid, identity.uid, identity.uid) != 0 || ::getresuid(&real, &effective, &saved) != 0)
        return false;
    if (real != identity.uid || effective != identity.uid || saved != identity.uid) {
        errno = EPERM;
        return false;
    }
    // Without a key facility there is nothing to leave behind.
    return ::syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, nullptr) >= 0 || errno == ENOSYS;
}

std::vector<std::string> buildUserEnvironment(const PasswordEntry* entry, const std::vector<std::string>& handedOn,
                                              bool login)
{
    const bool superUser = entry != nullptr && entry->uid == 0;
    std::vector<std::string> environment = {login && superUser
                                                ? "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
                                                : "PATH=/usr/local/bin:/usr/bin:/bin"};
    if (entry != nullptr) {
        environment.push_back("HOME=" + (entry->home.empty() ? std::string("/") : entry->home));
        environment.push_back("USER=" + entry->name);
        environment.push_back("LOGNAME=" + entry->name);
        if (login)
            environment.push_back("SHELL=" + (entry->shell.empty() ? std::string("/bin/sh") : entry->shell));
    }
    environment.insert(environment.end(), handedOn.begin(), handedOn.end());
    return environment;
}

std::vector<std::string> userEnvironment(uid_t uid)
{
    std::vector<std::string> handedOn;
    for (const std::string& entry : startEnvironment()) {
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "LANG" || name == "LANGUAGE" || name.compare(0, 3, "LC_") == 0 || name == "DISPLAY" ||
            name == "WAYLAND_DISPLAY" || name == "XAUTHORITY")
            handedOn.push_back(entry);
    }
    // The user's own runtime folder and bus, never the starter's.
    const std::string runtime = "/run/user/" + std::to_string(uid);
    struct stat info {};
    if (::lstat(runtime.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid) {
        handedOn.push_back("XDG_RUNTIME_DIR=" + runtime);
        if (::lstat((runtime + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == uid)
            handedOn.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus");
    }
    PasswordEntry entry;
    return buildUserEnvironment(passwordEntry(uid, entry) ? &entry : nullptr, handedOn, false);
}

std::string asUserProgram()
{
    try {
        return std::string(static_cast<const char*>(SGetModuleFolder())) + "/tessalvpn-as-user";
    } catch (...) {
        return std::string();
    }
}

bool runAsUser(const UserIdentity* identity, const std::vector<std::string>& args, const std::vector<int>& handed,
               std::string& result, long long boundMs)
{
    int channel[2] = {-1, -1};
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        result = std::string("Cannot start a child process: ") + std::strerror(errno);
        return false;
    }
    UniqueFd in(channel[0]);
    UniqueFd out(channel[1]);
    ChildStart start;
    start.args = args;
    start.handed.emplace_back(out.get(), STDOUT_FILENO);
    for (size_t i = 0; i < handed.size(); ++i)
        start.handed.emplace_back(handed[i], 3 + static_cast<int>(i));
    start.identity = identity;
    if (identity != nullptr)
        start.environment = userEnvironment(identity->uid);
    start.directory = "/";
    // A group of its own: what it starts goes with it at the bound.
    start.ownSession = true;
    start.startMs = boundMs;
    const long long deadline = monotonicMs() + boundMs;
    const ChildRun run = startProcess(start);
    out.reset();
    if (!run.started()) {
        result = std::string("Cannot start a child process: ") + std::strerror(run.error);
        return false;
    }
    std::string text;
    char buffer[4096];
    bool late = false;
    for (;;) {
        const long long left = deadline - monotonicMs();
        pollfd ready{in.get(), POLLIN, 0};
        const int polled = left > 0 ? ::poll(&ready, 1, static_cast<int>(std::min(left, 1000000LL))) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0) {
            late = true;
            break;
        }
        const ssize_t n = polled < 0 ? -1 : ::read(in.get(), buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR))
            break;
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
    }
    int status = 0;
    for (;;) {
        const pid_t rc = late ? 0 : ::waitpid(run.pid, &status, WNOHANG);
        if (rc == run.pid || (rc < 0 && errno != EINTR))
            break;
        if (late || monotonicMs() >= deadline) {
            // Stopped, or still at work: killed with whatever it started.
            late = true;
            ::kill(-run.pid, SIGKILL);
            ::kill(run.pid, SIGKILL);
            while (::waitpid(run.pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        ::usleep(2000);
    }
    if (late) {
        result = "The child process did not finish within " + std::to_string(boundMs) + " ms";
        return false;
    }
    const bool ran = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result = text.empty() && !ran ? std::string("The child process ended without a result") : text;
    return ran;
}
