#include "session/UnixAutoUpdater.h"

#include "dialogs/QuitRequest.h"
#include "session/LinuxInstaller.h"
#include "session/TarArchiveInstaller.h"

#include "dialogs/MessageBox.h"
#include "dialogs/Notification.h"

#include "foundation/IUErrorLog.h"
#include "foundation/LogSettings.h"
#include "foundation/UVersion.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"
#include "foundation/str_helper.h"

#include "tessal_config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "UnixAutoUpdater";
constexpr const char* kPolicyServer = "PolicyServer";
constexpr const char* kOesisInspector = "OesisInspector";
constexpr int kTrayWarningMs = 15000;
constexpr int kTrayRepeatSeconds = 5;
// A version or signature file holds a line; nothing near this is one.
constexpr size_t kTextFileLimit = 1 << 20;

QString qobjectTr(const char* text)
{
    return QCoreApplication::translate("QObject", text);
}

QString dotted(const UVersion& version)
{
    QStringList parts;
    for (uint16_t part : version.parts())
        parts << QString::asprintf("%u", static_cast<unsigned>(part));
    return parts.join(QLatin1Char('.'));
}

// The package never takes the place of a file that is there, whoever made
// it: it is copied into a new file of a free name beside it ("app (1).deb"),
// which taken receives. False, with nothing left behind, when that fails.
bool copyBeside(const std::string& file, const std::string& folderPath, const std::string& name, std::string& taken)
{
    struct stat info {};
    const UniqueFd source = openRegularFile(file, info);
    const UniqueFd folder = openFolder(folderPath, false, 0);
    if (source.get() < 0 || folder.get() < 0)
        return false;
    const UniqueFd target = createFreeFileAt(folder.get(), name, info.st_mode & 0777, taken);
    if (target.get() < 0)
        return false;
    if (readInPieces(
            source.get(), kPackageFileLimit,
            [&](const char* piece, size_t size) { return writeAll(target.get(), std::string(piece, size)); }) &&
        ::fsync(target.get()) == 0) {
        ::fsync(folder.get());
        return true;
    }
    ::unlinkat(folder.get(), taken.c_str(), 0);
    taken.clear();
    return false;
}

QUrl serverFileUrl(const QUrl& server, const QString& path)
{
    QUrl url(server);
    url.setPath(path, QUrl::DecodedMode);
    return url;
}
} // namespace

template <class Package>
UnixAutoUpdater<Package>::UnixAutoUpdater(const int& sessionType, const QUrl& server, int silent)
    : AutoUpdater(sessionType, server, silent != 0),
      m_packageId(std::string(sessionType == 1 ? "EndpointCheckApp" : "NetworkAccessApp") + GetPackageSuffix()),
      m_silentFlag(silent)
{}

template <class Package>
UnixAutoUpdater<Package>::~UnixAutoUpdater() = default;

template <class Package>
std::string UnixAutoUpdater<Package>::GetPackageSuffix()
{
    return installedFromRpm() ? "X64.rpm" : "X64.deb";
}

template <class Package>
bool UnixAutoUpdater<Package>::isComponent() const
{
    return m_current != nullptr && (m_current->id == kPolicyServer || m_current->id == kOesisInspector);
}

template <class Package>
void UnixAutoUpdater<Package>::finish()
{
    m_stage = Stage::Done;
}

template <class Package>
void UnixAutoUpdater<Package>::discard(const std::string& file)
{
    if (!file.empty() && QFileInfo(QString::fromStdString(file)).isFile())
        QFile::remove(QString::fromStdString(file));
}

template <class Package>
void UnixAutoUpdater<Package>::discardComponentPackage()
{
    discard(m_componentPackage);
    m_componentPackage.clear();
}

template <class Package>
QString UnixAutoUpdater<Package>::ComponentFolder(const std::string& id)
{
    CString settings;
    if (getConfigFolder(settings, true).IsEmpty())
        return QString();
    // Made through descriptors: a link in a folder another user controls is
    // not followed, and a folder root makes there is that user's.
    const std::string components = std::string(static_cast<const char*>(settings)) + "/components";
    if (openFolder(components, true, 0700).get() < 0) {
        const int error = errno;
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Cannot create components folder", components, std::strerror(error)));
        return QString();
    }
    return QFile::decodeName(QByteArray::fromStdString(components)) + QLatin1Char('/') + QString::fromStdString(id);
}

template <class Package>
void UnixAutoUpdater<Package>::CheckForUpdates(const ConnectivityProfileParser& profile)
{
    m_current = nullptr;
    m_signature.clear();
    m_componentVersion.clear();
    m_profile = profile;
    m_stage = Stage::Idle;
    if (m_sessionType == 1) {
        bool oesis = false;
        for (const Package& p : m_profile.linuxPackages)
            oesis = oesis || p.id == kOesisInspector;
        if (oesis)
            UpdateOesisInspector();
        else
            UpdatePolicyServer();
        return;
    }
    UpdateSelf();
}

template <class Package>
void UnixAutoUpdater<Package>::UpdateSelf()
{
    m_current = nullptr;
    for (const Package& p : m_profile.linuxPackages) {
        if (p.id == m_packageId) {
            m_current = &p;
            break;
        }
    }
    if (m_current == nullptr) {
        finish();
        emit UpdateFail(QStringLiteral("Application pkg (%1) not found in server connectivity profile")
                            .arg(QString::fromStdString(m_packageId)),
                        true);
        return;
    }
    if (!ShouldUpdateSelf())
        return;
    const QUrl url = serverFileUrl(m_server, QString::fromStdString(m_current->source));
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Downloading package (ID, pkg)", m_current->id, url));
    m_stage = Stage::ApplicationPackage;
    DownloadPackage(url, std::string());
}

template <class Package>
bool UnixAutoUpdater<Package>::ShouldUpdateSelf()
{
    const Package& package = *m_current;
    const CString theirText(package.version.c_str());
    if (!UVersion::isValid(theirText, 4)) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Failed to parse server version '%1'", package.version));
        // The session waits for a signal: a package it cannot judge is passed over.
        finish();
        emit UpdateFail(
            QStringLiteral("Failed to parse server version '%1'").arg(QString::fromStdString(package.version)), true);
        return false;
    }
    const UVersion our(CString(TESSAL_VERSION), 4);
    const UVersion their(theirText, 4);
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Version: our,their,min", dotted(our), dotted(their), package.minVersion));
    if (!(our < their)) {
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Application is up-to-date");
        finish();
        emit UpdateSuccess();
        return false;
    }
    const CString minText(package.minVersion.c_str());
    if (!package.minVersion.empty() && UVersion::isValid(minText, 4) && our < UVersion(minText, 4)) {
        const int seen = ShowInformationBox(
            qobjectTr(QT_TRANSLATE_NOOP(
                          "QObject", "Applying software update version %1<br><br><font size='2'>NOTE: This will "
                                     "disconnect all sessions & "
                                     "restart application.<br>NOTE: Please refresh browser after installation</font>"))
                .arg(dotted(their)));
        // A notice ended without its button (the program is quitting) starts no download.
        if (seen != QMessageBox::Ok) {
            finish();
            emit UpdateIgnored();
            return false;
        }
        return true;
    }
    const int answer = ShowQuestionBox(
        qobjectTr(QT_TRANSLATE_NOOP("QObject", "Software update %1 is available. Do you want to download this update?"))
            .arg(dotted(their)));
    // Only an explicit Ok downloads; Cancel, Escape or closing the box decline.
    if (answer != QMessageBox::Ok) {
        finish();
        emit UpdateIgnored();
        return false;
    }
    return true;
}

template <class Package>
void UnixAutoUpdater<Package>::UpdatePolicyServer()
{
    updateComponent(kPolicyServer, "/public/download/linux_policyserver.tar.ver",
                    "/public/download/linux_policyserver.tar.md5");
}

template <class Package>
void UnixAutoUpdater<Package>::UpdateOesisInspector()
{
    updateComponent(kOesisInspector, "/public/download/linux_oesisInspector.tar.ver",
                    "/public/download/linux_oesisInspector.tar.md5");
}

template <class Package>
void UnixAutoUpdater<Package>::updateComponent(const char* id, const char* versionPath, const char* signaturePath)
{
    m_current = nullptr;
    for (const Package& p : m_profile.linuxPackages) {
        if (p.id == id) {
            m_current = &p;
            break;
        }
    }
    if (m_current == nullptr) {
        finish();
        emit UpdateFail(QStringLiteral("%1 pkg not found in server connectivity profile").arg(QLatin1String(id)),
                        false);
        return;
    }
    m_componentVersion.clear();
    m_signature.clear();
    m_signaturePath = QLatin1String(signaturePath);
    m_stage = Stage::ComponentVersion;
    DownloadServerFile(QLatin1String(versionPath));
}

template <class Package>
void UnixAutoUpdater<Package>::DownloadServerFile(const QString& path)
{
    DownloadPackage(serverFileUrl(m_server, path), std::string());
}

template <class Package>
bool UnixAutoUpdater<Package>::ReadTextFile(const std::string& path, QString& out)
{
    // Only a regular file of sane size, never through a link and never
    // blocking on a FIFO.
    std::string bytes;
    if (!readRegularFile(path, kTextFileLimit, bytes))
        return false;
    // Text up to the first NUL.
    out = QString::fromUtf8(bytes.c_str(), static_cast<qsizetype>(std::strlen(bytes.c_str())));
    return true;
}

template <class Package>
void UnixAutoUpdater<Package>::FileDownloadSuccess(std::string file)
{
    AutoUpdater::FileDownloadSuccess(file);
    switch (m_stage) {
    case Stage::ComponentVersion: {
        // Only marks the stage: the value is compared with nothing.
        if (!ReadTextFile(file, m_componentVersion))
            m_componentVersion.clear();
        discard(file);
        m_componentVersion = m_componentVersion.trimmed();
        if (m_componentVersion.isEmpty())
            m_componentVersion = QStringLiteral("1.0");
        m_stage = Stage::ComponentSignature;
        DownloadServerFile(m_signaturePath);
        return;
    }
    case Stage::ComponentSignature: {
        const bool read = ReadTextFile(file, m_signature);
        discard(file);
        if (!read || m_signature.trimmed().isEmpty()) {
            m_signature.clear();
            finish();
            emit UpdateFail(QStringLiteral("Failed to read downloaded signature"), false);
            return;
        }
        const QUrl url = serverFileUrl(m_server, QString::fromStdString(m_current->source));
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Downloading package (ID, pkg)", m_current->id, url));
        m_stage = Stage::ComponentPackage;
        DownloadPackage(url, std::string());
        return;
    }
    case Stage::ComponentPackage:
    case Stage::ApplicationPackage: InstallPackage(file); return;
    case Stage::Idle:
    case Stage::Done:
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Unexpected download ignored", file));
        discard(file);
        return;
    }
}

template <class Package>
void UnixAutoUpdater<Package>::InstallPackage(std::string& file)
{
    // Nothing new starts once the program is quitting.
    if (quitRequested()) {
        discard(file);
        finish();
        emit InstallIgnored();
        return;
    }
    if (m_current == nullptr) {
        discard(file);
        finish();
        emit UpdateFail(QStringLiteral("No update package selected"), false);
        return;
    }
    const bool component = m_stage == Stage::ComponentPackage;
    const QString expected = component ? m_signature : QString::fromStdString(m_current->signature);
    const QString id = QString::fromStdString(m_current->id);
    if (!VerifySignature(QString::fromStdString(file), expected)) {
        discard(file);
        ShowTrayIcon(nullptr, kTrayRepeatSeconds)
            ->showWarning(qobjectTr(QT_TRANSLATE_NOOP("QObject", "Software update failed to verify signature")),
                          QString(), kTrayWarningMs);
        finish();
        emit UpdateFail(QStringLiteral("Integrity check failed for %1").arg(id), false);
        return;
    }
    if (component) {
        // Unpacked beside the installed copy and swapped in whole: a failed
        // unpack leaves the previous component as it was.
        const QString folder = ComponentFolder(m_current->id);
        if (folder.isEmpty()) {
            discard(file);
            finish();
            emit UpdateFail(QStringLiteral("No installer available for %1").arg(id), false);
            return;
        }
        m_componentPackage = file;
        m_installer = QSharedPointer<Installer>(new TarArchiveInstaller(folder));
        connect(m_installer.data(), SIGNAL(Failure(QString)), this, SLOT(InstallFailed(QString)));
        connect(m_installer.data(), SIGNAL(Success()), this, SLOT(InstallSuccess()));
        m_installer->Install(file);
        return;
    }
    bool failed = false;
    if (!ConfirmInstall(file, failed)) {
        // A package that could not be moved is of no further use; one the
        // user declined stays in the Downloads folder.
        if (failed)
            discard(file);
        finish();
        if (!failed)
            emit InstallIgnored();
        return;
    }
    finish();
    m_installer = QSharedPointer<Installer>(new LinuxInstaller());
    connect(m_installer.data(), SIGNAL(Failure(QString)), this, SLOT(InstallFailed(QString)));
    connect(m_installer.data(), SIGNAL(Success()), this, SLOT(InstallSuccess()));
    m_installer->Install(file);
}

template <class Package>
bool UnixAutoUpdater<Package>::ConfirmInstall(std::string& file, bool& failed)
{
    failed = false;
    // The toolkit finds the Downloads folder through the configuration
    // folder's user-dirs.dirs: those folders are looked at before it reads there.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (refuseFoldersOfOthers({QDir::homePath(), QDir::isAbsolutePath(config) ? config : QDir::homePath() + "/.config"},
                              failed))
        return false;
    const QString folderPath = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (refuseFoldersOfOthers({folderPath}, failed))
        return false;
    QDir folder(folderPath);
    if (folderPath.isEmpty() || (!folder.exists() && !QDir().mkdir(folderPath))) {
        failed = true;
        emit UpdateFail(QStringLiteral("Failed to create Downloads directory"), false);
        return false;
    }
    const QString name = QFileInfo(QString::fromStdString(m_current->source)).fileName();
    const QString downloaded = QString::fromStdString(file);
    std::string taken;
    if (!copyBeside(file, QFile::encodeName(folder.absolutePath()).toStdString(), QFile::encodeName(name).toStdString(),
                    taken)) {
        failed = true;
        emit UpdateFail(QStringLiteral("Failed to rename %1 to %2")
                            .arg(downloaded, folder.absolutePath() + QLatin1Char('/') + name),
                        false);
        return false;
    }
    discard(file);
    const QString target =
        folder.absolutePath() + QLatin1Char('/') + QFile::decodeName(QByteArray::fromStdString(taken));
    file = QFile::encodeName(target).toStdString();
    const int answer = ShowQuestionBox(
        qobjectTr(
            QT_TRANSLATE_NOOP(
                "QObject",
                "Updates downloaded at %1. Do you want to install it? <br><br><font size='2'>NOTE: Please install "
                "appropriate package manually if native installer fail.<br>NOTE: This will disconnect all sessions & "
                "restart application.<br>NOTE: Please refresh browser after installation<br></font>"))
            .arg(target.toHtmlEscaped()));
    return answer == QMessageBox::Ok;
}

template <class Package>
bool UnixAutoUpdater<Package>::refuseFoldersOfOthers(const QStringList& paths, bool& failed)
{
    for (const QString& path : paths) {
        if (path.isEmpty() || !othersControlPath(QFile::encodeName(path).toStdString()))
            continue;
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Update package not moved: another user controls the folder", path));
        failed = true;
        emit UpdateFail(
            qobjectTr(
                QT_TRANSLATE_NOOP("QObject", "The Downloads folder cannot be used: %1 is controlled by another user"))
                .arg(path),
            false);
        return true;
    }
    return false;
}

template <class Package>
void UnixAutoUpdater<Package>::FileDownloadProgress(qlonglong total, qlonglong totalDownloaded)
{
    AutoUpdater::FileDownloadProgress(total, totalDownloaded);
    if (!m_progress || !m_progress->labelText().isEmpty())
        return;
    if (m_current != nullptr && m_current->id == kOesisInspector && m_silentFlag != 0) {
        m_progress->setLabelText(qobjectTr(QT_TRANSLATE_NOOP("QObject", "Updating EndPoint Inspection Components")));
    } else if (m_current != nullptr) {
        m_progress->setLabelText(
            qobjectTr(QT_TRANSLATE_NOOP("QObject", "Downloading %1 update v%2"))
                .arg(QString::fromStdString(m_current->id), QString::fromStdString(m_current->version)));
    }
}

template <class Package>
void UnixAutoUpdater<Package>::InstallFailed(QString errMessage)
{
    discardComponentPackage();
    finish();
    AutoUpdater::InstallFailed(errMessage);
}

template <class Package>
void UnixAutoUpdater<Package>::InstallSuccess()
{
    discardComponentPackage();
    AutoUpdater::InstallSuccess();
    if (isComponent())
        UpdateSelf();
}

template class UnixAutoUpdater<MacPackage>;

} // namespace qt
} // namespace tessal
