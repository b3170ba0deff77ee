#include "shell/PreferenceFiles.h"
#include "foundation/m_system.h"

#include <fcntl.h>
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
    opened.file =
        openUserFileAt(opened.folder.get(), opened.name, owner != nullptr ? owner->uid : uid_t(-1), opened.status);
    if (opened.file.get() >= 0)
        return;
    if (errno == EINVAL)
        throw std::runtime_error("File " + quotedPath(path) + " is not a regular file");
    if (errno == EPERM && owner != nullptr)
        throw std::runtime_error("File " + quotedPath(path) + " is not owned by the user (uid " +
                                 std::to_string(owner->uid) + ")");
    fail("Cannot open file", path, errno);
}

// How a replacement is handed to the file's owner.
ShellTestSeam::ChangeOwner changeOwner = ::fchown;

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

void runAsProfileOwner(const ProfileOwner& owner, const char* browser, const std::vector<std::string>& schemes,
                       const std::function<void()>& step)
{
    if (::geteuid() != 0 || owner.uid == 0) {
        step();
        return;
    }
    // Without a password-database entry, the home folder's group alone.
    struct stat status {};
    const gid_t group = ::stat(owner.home.c_str(), &status) == 0 ? status.st_gid : owner.uid;
    const UserIdentity identity = userIdentity(owner.uid, group);
    std::vector<std::string> args = {asUserProgram(), browser, owner.home, std::to_string(owner.uid)};
    args.insert(args.end(), schemes.begin(), schemes.end());
    std::string result;
    // A preference file is read and written in well under this.
    constexpr long long kStepBoundMs = 60000;
    if (!runAsUser(&identity, args, {}, result, kStepBoundMs))
        throw std::runtime_error(result);
}

std::string readFileLimited(const std::string& path, std::uintmax_t limit, const ProfileOwner* owner)
{
    if (fs::file_size(path) > limit)
        throw std::runtime_error(tooBig(path, limit));

    OpenedFile opened;
    openPreferenceFile(path, owner, opened);
    std::string text;
    if (!readInPieces(opened.file.get(), limit, [&text](const char* piece, size_t size) {
            text.append(piece, size);
            return true;
        })) {
        if (errno == EFBIG)
            throw std::runtime_error(tooBig(path, limit));
        fail("Cannot read file", path, errno);
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
    removeStaleReplacements(folder.get(), name, owner != nullptr ? owner->uid : uid_t(-1));
}

void writeFileContents(const std::string& path, const std::string& text, const ProfileOwner* owner)
{
    OpenedFile opened;
    openPreferenceFile(path, owner, opened);
    // The owner's mode, less the setuid, setgid and sticky bits: a root run
    // must not leave a privileged file in the user's folder.
    Replacement how;
    how.mode = opened.status.st_mode & 0777;
    how.owner = opened.status.st_uid;
    how.uid = opened.status.st_uid;
    how.gid = opened.status.st_gid;
    how.mustExist = true;
    how.changeOwner = changeOwner;
    if (!replaceFileAt(opened.folder.get(), opened.name, text, how))
        fail("Cannot write file", path, errno);
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
