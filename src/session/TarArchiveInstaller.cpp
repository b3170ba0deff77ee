#include "session/TarArchiveInstaller.h"

#include "session/InstallerProcess.h"

#include "foundation/IUErrorLog.h"


#include <QDir>
#include <QFile>

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
    if (UnTar(file, m_destination))
        emit Success();
    else
        emit Failure(QStringLiteral("Failed to unpack package"));
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
