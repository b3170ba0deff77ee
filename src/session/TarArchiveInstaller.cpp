#include "session/TarArchiveInstaller.h"

#include "session/InstallerProcess.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "TarArchiveInstaller";
constexpr const char* kUnpackFailed = "Failed to unpack package";
constexpr const char* kCannotCreate = "Cannot create install dir";
// tar unpacks an update in seconds; the step around it gets a little more.
constexpr long long kTarBoundMs = 300000;
constexpr long long kUnpackBoundMs = kTarBoundMs + 60000;

// Everything below up to the next heading may run in the as-user program,
// as the folder's owner: no toolkit, no log. A step's result is empty when
// it succeeded, else a log record and its detail on two lines.

std::string failure(const char* record, const std::string& detail)
{
    return std::string(record) + '\n' + detail;
}

std::string reason()
{
    return std::strerror(errno);
}

bool isAsciiLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// ".<name>." and six letters or digits, perhaps with ".old": the names an
// unpack of name works under.
bool isStagingName(const std::string& entry, const std::string& name)
{
    const std::string prefix = "." + name + ".";
    if (entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string rest = entry.substr(prefix.size());
    if (rest.size() > 4 && rest.compare(rest.size() - 4, 4, ".old") == 0)
        rest.resize(rest.size() - 4);
    if (rest.size() != 6)
        return false;
    for (const char c : rest) {
        if (!isAsciiLetterOrDigit(c))
            return false;
    }
    return true;
}

// The names in an open folder; false when it cannot be read whole.
bool listFolder(int folder, std::vector<std::string>& names)
{
    const int copy = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (dir == nullptr) {
        if (copy >= 0)
            ::close(copy);
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    const int error = errno;
    ::closedir(dir);
    errno = error;
    return error == 0;
}

// Removes name from folder and, when it is a folder, everything in it,
// never through a link.
void removeTreeAt(int folder, const std::string& name)
{
    const UniqueFd tree(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (tree.get() < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            ::unlinkat(folder, name.c_str(), 0);
        return;
    }
    std::vector<std::string> names;
    listFolder(tree.get(), names);
    for (const std::string& entry : names) {
        struct stat status {};
        if (::fstatat(tree.get(), entry.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode))
            removeTreeAt(tree.get(), entry);
        else
            ::unlinkat(tree.get(), entry.c_str(), 0);
    }
    ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
}

// Why a member must not become part of a component, or empty: only folders,
// regular files and symbolic links, and nothing that runs with its owner's
// or group's rights.
std::string unsafeStatus(const std::string& path, const struct stat& status)
{
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode))
        return "special file " + path;
    if ((status.st_mode & S_ISUID) != 0 || (!S_ISDIR(status.st_mode) && (status.st_mode & S_ISGID) != 0))
        return "setuid or setgid member " + path;
    return std::string();
}

std::string unsafeMemberAt(int folder, const std::string& shown)
{
    std::vector<std::string> names;
    if (!listFolder(folder, names))
        return "cannot check " + shown + ": " + reason();
    for (const std::string& name : names) {
        const std::string path = shown + "/" + name;
        struct stat status {};
        if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            return "cannot check " + path + ": " + reason();
        std::string unsafe = unsafeStatus(path, status);
        if (unsafe.empty() && S_ISDIR(status.st_mode)) {
            const UniqueFd inner(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            unsafe = inner.get() < 0 ? "cannot check " + path + ": " + reason() : unsafeMemberAt(inner.get(), path);
        }
        if (!unsafe.empty())
            return unsafe;
    }
    return std::string();
}

// tar unpacks the archive (its standard input) into folder (its working
// folder); what it prints goes to output. as: the user tar runs as, or
// none.
std::string runTar(const std::string& tar, int folder, int archive, int output, const UserIdentity* as)
{
    if (::lseek(archive, 0, SEEK_SET) != 0)
        return failure(kUnpackFailed, "Cannot read the archive: " + reason());
    ChildStart start;
    // Files take the unpacking user's ownership and umask, whatever the
    // archive says, and so never a setuid bit.
    start.args = {tar, "-x", "-f", "-", "--no-same-owner", "--no-same-permissions"};
    start.handed = {{archive, STDIN_FILENO}};
    if (output >= 0)
        start.handed.insert(start.handed.end(), {{output, STDOUT_FILENO}, {output, STDERR_FILENO}});
    start.folder = folder;
    // tar gets an environment made for the user, not the starter's.
    if (as != nullptr) {
        start.identity = as;
        start.environment = userEnvironment(as->uid);
    }
    start.waitMs = kTarBoundMs;
    const ChildRun run = startProcess(start);
    if (run.timedOut)
        return failure(kUnpackFailed, tar + " did not finish within " + std::to_string(kTarBoundMs) + " ms");
    if (!run.started())
        return failure(kUnpackFailed, "Cannot start " + tar + ": " + std::strerror(run.error));
    const int status = run.status;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return std::string();
    return failure(kUnpackFailed, WIFEXITED(status) ? tar + " exited with code " + std::to_string(WEXITSTATUS(status))
                                                    : tar + " crashed");
}

// Removes what an unpack of name killed half-way left; one still running
// holds its lock.
void sweepStaging(int parent, const std::string& name)
{
    std::vector<std::string> names;
    listFolder(parent, names);
    for (const std::string& entry : names) {
        if (!isStagingName(entry, name))
            continue;
        const UniqueFd stale(::openat(parent, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (stale.get() >= 0 && ::flock(stale.get(), LOCK_EX | LOCK_NB) == 0)
            removeTreeAt(parent, entry);
    }
}

// Puts staging at name: with a previous copy the two are swapped in one
// step, and the old copy is then at the staging name.
std::string swapIn(int parent, const std::string& staging, const std::string& name, const std::string& shown)
{
    const auto failed = [&] { return failure("Cannot move unpacked package into place", shown + ", " + reason()); };
    if (::renameat2(parent, staging.c_str(), parent, name.c_str(), RENAME_NOREPLACE) == 0)
        return std::string();
    if (errno == EEXIST && ::renameat2(parent, staging.c_str(), parent, name.c_str(), RENAME_EXCHANGE) == 0)
        return std::string();
    if (errno != EINVAL && errno != ENOSYS)
        return failed();
    // A file system without either: the old copy steps aside first and
    // comes back if the new one cannot take its place.
    const std::string aside = staging + ".old";
    const bool present = ::renameat(parent, name.c_str(), parent, aside.c_str()) == 0;
    if (!present && errno != ENOENT)
        return failed();
    if (::renameat(parent, staging.c_str(), parent, name.c_str()) != 0) {
        const int error = errno;
        if (present)
            ::renameat(parent, aside.c_str(), parent, name.c_str());
        errno = error;
        return failed();
    }
    if (present && ::renameat(parent, aside.c_str(), parent, staging.c_str()) != 0)
        removeTreeAt(parent, aside);
    return std::string();
}

} // namespace

// The archive goes into a new sibling folder first and replaces the
// destination only once it has been unpacked whole.
std::string unpackStaged(int parent, const std::string& parentPath, const std::string& name, const std::string& staging,
                         int archive, int output, const std::string& tar)
{
    sweepStaging(parent, name);
    if (::mkdirat(parent, staging.c_str(), 0700) != 0)
        return failure(kCannotCreate, parentPath + "/" + staging + ": " + reason());
    // Locked for the whole unpack, so that another one never sweeps it away.
    const UniqueFd folder(::openat(parent, staging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0 || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) {
        const std::string error = failure(kCannotCreate, parentPath + "/" + staging + ": " + reason());
        removeTreeAt(parent, staging);
        return error;
    }
    const std::string shown = parentPath + "/" + staging;
    std::string error = runTar(tar, folder.get(), archive, output, nullptr);
    // tar keeps every member inside the folder, but would still make device
    // nodes and pipes; a package with one is refused whole.
    if (error.empty()) {
        struct stat status {};
        std::string unsafe = ::fstat(folder.get(), &status) != 0 ? "cannot check " + shown + ": " + reason()
                                                                 : unsafeStatus(shown, status);
        if (unsafe.empty())
            unsafe = unsafeMemberAt(folder.get(), shown);
        if (!unsafe.empty())
            error = failure(kUnpackFailed, unsafe);
    }
    if (error.empty())
        error = swapIn(parent, staging, name, parentPath + "/" + name);
    // A failed unpack, or the copy it replaced.
    removeTreeAt(parent, staging);
    return error;
}

namespace {

// ---- In this process.

// Who does the work in a folder: its owner, when root would otherwise work
// in a folder another user controls; null for this process as it is.
const UserIdentity* actingAs(const FolderFacts& facts, UserIdentity& identity)
{
    if (!controlledByOthers(facts.info) || facts.info.st_uid == 0)
        return nullptr;
    identity = userIdentity(facts.info.st_uid, facts.info.st_gid);
    return &identity;
}

// The archive as this process may read it (a regular file of sane size,
// never through a link, never blocking) and the installer log.
bool openArchive(const std::string& file, UniqueFd& archive, UniqueFd& log)
{
    struct stat status {};
    archive = openRegularFile(file, status);
    if (archive.get() >= 0 && static_cast<unsigned long long>(status.st_size) > kPackageFileLimit) {
        archive.reset();
        errno = EFBIG;
    }
    if (archive.get() < 0) {
        const std::string why = reason();
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat(kUnpackFailed, file, why));
        return false;
    }
    QString error;
    log.reset(openInstallerLog(error));
    if (log.get() < 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, error);
        return false;
    }
    return true;
}

bool reportUnpack(bool ran, const std::string& result)
{
    if (ran && result.empty()) {
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Succesfully un-archived");
        return true;
    }
    const size_t split = result.find('\n');
    if (!ran || split == std::string::npos)
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat(kUnpackFailed, result));
    else
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat(result.substr(0, split).c_str(), result.substr(split + 1)));
    return false;
}

} // namespace

std::string findTarUtility()
{
    for (const char* tar : {"/bin/tar", "/usr/bin/tar", "/usr/local/bin/tar"}) {
        if (QFile::exists(QString::fromUtf8(tar)))
            return tar;
    }
    return std::string();
}

TarArchiveInstaller::TarArchiveInstaller(const QString& destination, QObject* parent)
    : Installer(parent), m_destination(destination)
{}

void TarArchiveInstaller::Install(std::string file)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Installing filename", file));
    m_packageFile = QString::fromStdString(file);
    if (unpackInPlace(file))
        emit Success();
    else
        emit Failure(QStringLiteral("Failed to unpack package"));
}

bool TarArchiveInstaller::unpackInPlace(const std::string& file)
{
    const QFileInfo destination(m_destination);
    const std::string parentPath = QFile::encodeName(destination.absolutePath()).toStdString();
    const std::string name = QFile::encodeName(destination.fileName()).toStdString();
    const std::string tar = findTarUtility();
    if (tar.empty()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, "Cannot search 'tar' utility");
        return false;
    }
    FolderFacts facts;
    const UniqueFd parent = openFolder(parentPath, true, 0777, &facts);
    if (parent.get() < 0) {
        const std::string why = reason();
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat(kCannotCreate, parentPath, why));
        return false;
    }
    UniqueFd archive;
    UniqueFd log;
    if (!openArchive(file, archive, log))
        return false;
    const std::string staging = randomName("." + name + ".", 6);
    if (staging.empty()) {
        const std::string why = reason();
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat(kCannotCreate, parentPath, why));
        return false;
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("filename, location", file, parentPath + "/" + staging));
    UserIdentity identity;
    if (actingAs(facts, identity) == nullptr)
        return reportUnpack(true, unpackStaged(parent.get(), parentPath, name, staging, archive.get(), log.get(), tar));
    // In a folder another user controls the work is done as its owner.
    std::string result;
    const bool ran = runAsUser(&identity, {asUserProgram(), "unpack", parentPath, name, staging, tar},
                               {parent.get(), archive.get(), log.get()}, result, kUnpackBoundMs);
    return reportUnpack(ran, result);
}

bool TarArchiveInstaller::UnTar(const std::string& file, const QString& location)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("filename, location", file, location));
    const std::string tar = findTarUtility();
    if (tar.empty()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, "Cannot search 'tar' utility");
        return false;
    }
    const std::string path = QFile::encodeName(location).toStdString();
    FolderFacts facts;
    UniqueFd folder = openFolder(path, false, 0, &facts);
    if (folder.get() < 0 && errno == ENOENT) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Install dir doesn't exist, creating", location));
        folder = openFolder(path, true, 0777, &facts);
    }
    if (folder.get() < 0) {
        const std::string why = reason();
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat(kCannotCreate, location, why));
        return false;
    }
    UniqueFd archive;
    UniqueFd log;
    if (!openArchive(file, archive, log))
        return false;
    UserIdentity identity;
    return reportUnpack(true, runTar(tar, folder.get(), archive.get(), log.get(), actingAs(facts, identity)));
}

} // namespace qt
} // namespace tessal
