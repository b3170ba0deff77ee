#include "session/TarArchiveInstaller.h"

#include "session/InstallerProcess.h"

#include "foundation/IUErrorLog.h"


#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tessal::qt {

namespace {
constexpr const char* kLogFile = "/TarArchiveInstaller";

// An unpack holds its staging folder locked for as long as it runs, so that
// another one never sweeps it away.
class StagingLock {
public:
    explicit StagingLock(const QByteArray& path)
        : m_fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))
    {
        m_locked = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    }
    StagingLock(const StagingLock&) = delete;
    StagingLock& operator=(const StagingLock&) = delete;
    ~StagingLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool locked() const { return m_locked; }

private:
    int m_fd;
    bool m_locked = false;
};

// ".<name>." and the six characters mkdtemp chose, perhaps with ".old": the
// names an unpack of name works under.
bool isStagingName(const QString& entry, const QString& name)
{
    const QString prefix = QStringLiteral(".") + name + QStringLiteral(".");
    if (!entry.startsWith(prefix))
        return false;
    QString rest = entry.mid(prefix.size());
    if (rest.endsWith(QStringLiteral(".old")))
        rest.chop(4);
    if (rest.size() != 6)
        return false;
    for (const QChar c : rest) {
        if (c.unicode() > 127 || !c.isLetterOrNumber())
            return false;
    }
    return true;
}

// Why an unpacked tree must not become a component, or empty: only folders,
// regular files and symbolic links, and nothing that runs with its owner's
// or group's rights.
std::string unsafeMember(const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    std::error_code error;
    auto check = [](const fs::path& path, const fs::file_status& status) -> std::string {
        const fs::file_type type = status.type();
        if (type != fs::file_type::regular && type != fs::file_type::directory && type != fs::file_type::symlink)
            return "special file " + path.string();
        const fs::perms perms = status.permissions();
        if ((perms & fs::perms::set_uid) != fs::perms::none
            || (type != fs::file_type::directory && (perms & fs::perms::set_gid) != fs::perms::none))
            return "setuid or setgid member " + path.string();
        return std::string();
    };
    std::string reason = check(root, fs::symlink_status(root, error));
    for (fs::recursive_directory_iterator it(root, error), end; reason.empty() && !error && it != end;
         it.increment(error)) {
        reason = check(it->path(), it->symlink_status(error));
    }
    if (reason.empty() && error)
        reason = "cannot check " + root.string() + ": " + error.message();
    return reason;
}

}  // namespace

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
{
}

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
    // The archive goes into a new sibling folder first and replaces the
    // destination only once it has been unpacked whole.
    const QFileInfo destination(m_destination);
    const QString parent = destination.absolutePath();
    if (!QDir(parent).exists() && !QDir().mkpath(parent)) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, "Cannot create install dir");
        return false;
    }
    removeStaleStaging(parent, destination.fileName());
    QByteArray staging = QFile::encodeName(parent + QStringLiteral("/.") + destination.fileName() +
                                           QStringLiteral(".XXXXXX"));
    if (::mkdtemp(staging.data()) == nullptr) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Cannot create install dir", strerror(errno)));
        return false;
    }
    const StagingLock lock(staging);
    const QString stagingPath = QFile::decodeName(staging);
    if (!UnTar(file, stagingPath)) {
        removeTree(stagingPath);
        return false;
    }
    // tar keeps every member inside the folder, but would still make device
    // nodes and pipes; a package with one is refused whole.
    const std::string unsafe = unsafeMember(std::filesystem::path(staging.toStdString()));
    if (!unsafe.empty()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to unpack package", unsafe));
        removeTree(stagingPath);
        return false;
    }
    const QByteArray target = QFile::encodeName(destination.absoluteFilePath());
    const bool present = QFileInfo::exists(destination.absoluteFilePath()) || destination.isSymLink();
    // With a previous copy the two are swapped in one step; the old one is
    // then at the staging name.
    if (present ? !swapIn(staging, target) : ::rename(staging.constData(), target.constData()) != 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Cannot move unpacked package into place", target.constData(), strerror(errno)));
        removeTree(stagingPath);
        return false;
    }
    if (present)
        removeTree(stagingPath);
    return true;
}

bool TarArchiveInstaller::swapIn(const QByteArray& staging, const QByteArray& target)
{
    if (::renameat2(AT_FDCWD, staging.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the exchange: the old copy steps aside first and
    // comes back if the new one cannot take its place.
    QByteArray aside = staging + ".old";
    if (::rename(target.constData(), aside.constData()) != 0)
        return false;
    if (::rename(staging.constData(), target.constData()) != 0) {
        const int error = errno;
        ::rename(aside.constData(), target.constData());
        errno = error;
        return false;
    }
    // The old copy now waits at the staging name, where the caller removes it.
    return ::rename(aside.constData(), staging.constData()) == 0 || (removeTree(QFile::decodeName(aside)), true);
}

void TarArchiveInstaller::removeStaleStaging(const QString& parent, const QString& name)
{
    // What an unpack killed half-way left; one still running holds its lock.
    const QStringList entries =
        QDir(parent).entryList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& entry : entries) {
        if (!isStagingName(entry, name))
            continue;
        const QString path = parent + QLatin1Char('/') + entry;
        const StagingLock lock(QFile::encodeName(path));
        if (lock.locked())
            removeTree(path);
    }
}

void TarArchiveInstaller::removeTree(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || info.isFile())
        QFile::remove(path);
    else if (info.isDir())
        QDir(path).removeRecursively();
}

bool TarArchiveInstaller::UnTar(const std::string& file, const QString& location)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("filename, location", file, location));
    const std::string tar = findTarUtility();
    if (tar.empty()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, "Cannot search 'tar' utility");
        return false;
    }
    if (!QDir(location).exists()) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Install dir doesn't exist, creating", location));
        if (!QDir().mkpath(location)) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, "Cannot create install dir");
            return false;
        }
    }
    // Files take the user's ownership and umask, whatever the archive says,
    // and so never a setuid bit, even when root unpacks.
    const QStringList args = {QStringLiteral("-C"),
                              location,
                              QStringLiteral("--no-same-owner"),
                              QStringLiteral("--no-same-permissions"),
                              QStringLiteral("-xf"),
                              QString::fromStdString(file)};
    const InstallerRun run = runInstallerTool(QString::fromStdString(tar), args, -1);
    if (!run.ok) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to unpack package", run.error));
        return false;
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Succesfully un-archived");
    return true;
}

}  // namespace tessal::qt
