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

#include <fcntl.h>

namespace tessal::qt {

namespace {
constexpr const char* kLogFile = "/TarArchiveInstaller";
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
    QByteArray staging = QFile::encodeName(parent + QStringLiteral("/.") + destination.fileName() +
                                           QStringLiteral(".XXXXXX"));
    if (::mkdtemp(staging.data()) == nullptr) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Cannot create install dir", strerror(errno)));
        return false;
    }
    const QString stagingPath = QFile::decodeName(staging);
    if (!UnTar(file, stagingPath)) {
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
    // Files take the user's ownership, whatever the archive says.
    const QStringList args = {QStringLiteral("-C"), location, QStringLiteral("--no-same-owner"), QStringLiteral("-xf"),
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
