#include "shell/PreferenceFiles.h"
#include "foundation/m_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "foundation/UserFiles.h"
#include "shell/BrowserPreferencesCleanup.h"
#include "shell/ShellTestSeam.h"

namespace tessal {
namespace qt {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int error)
{
    throw std::runtime_error(what + " " + quotedPath(path) + ": " + std::strerror(error));
}

bool isInside(const fs::path& path, const fs::path& folder)
{
    const std::string p = path.string();
    std::string f = folder.string();
    if (f == "/")
        return p.size() > 1 && p[0] == '/';
    if (!f.empty() && f.back() != '/')
        f += '/';
    return p.compare(0, f.size(), f) == 0;
}

// The file opened for reading through its folder, never through a symbolic
// link as its last component; with an owner also confined to their home.
struct OpenedFile {
    UniqueFd folder;
    UniqueFd file;
    std::string name;
    struct stat status {};
};

// The folder that holds path, confined to the owner's home; name receives
// the file's name in it.
void openProfileFolder(const std::string& path, const ProfileOwner* owner, UniqueFd& opened, std::string& name)
{
    fs::path target(path);
    if (owner != nullptr) {
        target = fs::canonical(target);
        if (!isInside(target, fs::weakly_canonical(owner->home)))
            throw std::runtime_error("File " + quotedPath(path) + " lies outside the home folder " +
                                     quotedPath(owner->home));
    }
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    name = target.filename().string();

    opened.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.get() < 0)
        fail("Cannot open folder", folder.string(), errno);
    if (owner != nullptr) {
        // The folder really opened is the one checked, not one swapped in since.
        std::error_code error;
        const fs::path really = fs::read_symlink("/proc/self/fd/" + std::to_string(opened.get()), error);
        if (error || really != folder)
            throw std::runtime_error("Folder " + quotedPath(folder.string()) + " changed while it was opened");
    }
}

void openPreferenceFile(const std::string& path, const ProfileOwner* owner, OpenedFile& opened)
{
    openProfileFolder(path, owner, opened.folder, opened.name);
    opened.file.reset(
        ::openat(opened.folder.get(), opened.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (opened.file.get() < 0)
        fail("Cannot open file", path, errno);
    if (::fstat(opened.file.get(), &opened.status) != 0)
        fail("Cannot read file", path, errno);
    if (!S_ISREG(opened.status.st_mode))
        throw std::runtime_error("File " + quotedPath(path) + " is not a regular file");
    if (owner != nullptr && opened.status.st_uid != owner->uid)
        throw std::runtime_error("File " + quotedPath(path) + " is not owned by the user (uid " +
                                 std::to_string(owner->uid) + ")");
}

// How a replacement is handed to the file's owner.
ShellTestSeam::ChangeOwner changeOwner = ::fchown;

// The hidden name a replacement of name is written under first.
std::string temporaryPrefix(const std::string& name)
{
    return "." + name + ".tessal-";
}

bool isTemporaryOf(const std::string& entry, const std::string& prefix)
{
    return entry.size() > prefix.size() && entry.compare(0, prefix.size(), prefix) == 0 &&
           entry.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", prefix.size()) ==
               std::string::npos;
}

std::string tooBig(const std::string& path, std::uintmax_t limit)
{
    return "File " + quotedPath(path) + " is too big (more than " + std::to_string(limit) + " bytes)";
}

} // namespace

std::string quotedPath(const std::string& path)
{
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '&')
            quoted += '&';
        quoted += c;
    }
    return quoted + "\"";
}

bool isMissing(const std::string& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::not_found;
}

ProfileOwner profileOwner(const std::string& user)
{
    ProfileOwner owner;
    owner.home = tessal::system::getHomeFolder(user);
    owner.uid = user.empty() ? ::getuid() : tessal::system::userId(user);
    struct stat status {};
    if (user.empty() && ::stat(owner.home.c_str(), &status) == 0)
        owner.uid = status.st_uid;
    return owner;
}

void runAsProfileOwner(const ProfileOwner& owner, const std::function<void()>& step)
{
    if (::geteuid() != 0 || owner.uid == 0) {
        step();
        return;
    }
    // Without a password-database entry, the home folder's group alone.
    struct stat status {};
    const gid_t group = ::stat(owner.home.c_str(), &status) == 0 ? status.st_gid : owner.uid;
    const UserIdentity identity = userIdentity(owner.uid, group);
    std::string result;
    // A preference file is read and written in well under this.
    constexpr long long kStepBoundMs = 60000;
    if (!runInChild(
            &identity, {},
            [&step]() {
                step();
                return std::string();
            },
            result, kStepBoundMs))
        throw std::runtime_error(result);
}

std::string readFileLimited(const std::string& path, std::uintmax_t limit, const ProfileOwner* owner)
{
    if (fs::file_size(path) > limit)
        throw std::runtime_error(tooBig(path, limit));

    OpenedFile opened;
    openPreferenceFile(path, owner, opened);
    std::string text;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(opened.file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot read file", path, errno);
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > limit)
            throw std::runtime_error(tooBig(path, limit));
    }
    return text;
}

ShellTestSeam::ChangeOwner ShellTestSeam::setChangeOwner(ChangeOwner change)
{
    const ChangeOwner before = changeOwner;
    changeOwner = change;
    return before;
}

void removeStaleTemporaries(const std::string& path, const ProfileOwner* owner)
{
    UniqueFd folder;
    std::string name;
    try {
        openProfileFolder(path, owner, folder, name);
    } catch (const std::exception&) {
        return;
    }
    UniqueFd listing(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* entries = listing.get() >= 0 ? ::fdopendir(listing.get()) : nullptr;
    if (entries == nullptr)
        return;
    listing.release();
    const std::string prefix = temporaryPrefix(name);
    std::vector<std::string> stale;
    while (const struct dirent* entry = ::readdir(entries)) {
        if (isTemporaryOf(entry->d_name, prefix))
            stale.push_back(entry->d_name);
    }
    ::closedir(entries);

    for (const std::string& temporary : stale) {
        // Only regular files of ours or the owner's; a device is never opened.
        struct stat before {};
        if (::fstatat(folder.get(), temporary.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(before.st_mode) ||
            (before.st_uid != ::geteuid() && (owner == nullptr || before.st_uid != owner->uid)))
            continue;
        UniqueFd file(::openat(folder.get(), temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat status {};
        if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || status.st_ino != before.st_ino ||
            status.st_dev != before.st_dev)
            continue;
        // A write still running holds its replacement locked.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(folder.get(), temporary.c_str(), 0);
    }
}

void writeFileContents(const std::string& path, const std::string& text, const ProfileOwner* owner)
{
    OpenedFile opened;
    openPreferenceFile(path, owner, opened);
    const int folder = opened.folder.get();

    std::string temporary;
    UniqueFd out;
    for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
        temporary = randomName(temporaryPrefix(opened.name), 10);
        out.reset(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           S_IRUSR | S_IWUSR));
        if (out.get() < 0 && errno != EEXIST)
            break;
    }
    if (out.get() < 0)
        fail("Cannot write file", path, errno);

    // The replacement belongs to the owner before it holds a byte, and never
    // carries the setuid, setgid or sticky bits: a root run must not leave a
    // privileged file in the user's folder, whatever fails on the way.
    int error = 0;
    if (::flock(out.get(), LOCK_EX) != 0)
        error = errno;
    else if (::geteuid() == 0 && changeOwner(out.get(), opened.status.st_uid, opened.status.st_gid) != 0)
        error = errno;
    else if (!writeAll(out.get(), text))
        error = errno;
    else if (::fchmod(out.get(), opened.status.st_mode & 0777) != 0)
        error = errno;
    else if (::fsync(out.get()) != 0)
        error = errno;
    else if (::renameat(folder, temporary.c_str(), folder, opened.name.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(folder, temporary.c_str(), 0);
        out.reset();
        fail("Cannot write file", path, error);
    }
    // Closed only once in place, so that no sweep takes it for a leftover;
    // its bytes already reached the disk.
    out.reset();
    ::fsync(folder);
}

void cleanPreferenceFile(const std::string& path, const ProfileOwner& owner, const std::vector<std::string>& schemes,
                         const std::function<bool(std::string&, const std::string&)>& edit)
{
    removeStaleTemporaries(path, &owner);
    std::string text = readFileLimited(path, kPreferenceFileLimit, &owner);
    bool changed = false;
    for (const std::string& scheme : schemes)
        changed |= editPreferenceText(path, [&] { return edit(text, scheme); });
    if (changed)
        writeFileContents(path, text, &owner);
}

} // namespace qt
} // namespace tessal
