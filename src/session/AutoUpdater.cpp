#include "session/AutoUpdater.h"

#include "foundation/CSignature.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UserFiles.h"

#include <QByteArrayView>
#include <QFile>
#include <QLabel>

#include <climits>

#include <sys/stat.h>

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "/AutoUpdater";

// A downloader may be replaced from inside one of its own signals, so it is
// never deleted on the spot.
void deleteDownloaderLater(FileDownloader* downloader)
{
    if (downloader != nullptr) {
        downloader->disconnect();
        downloader->deleteLater();
    }
}
} // namespace

AutoUpdater::AutoUpdater(int sessionType, const QUrl& server, bool silent)
    : QObject(nullptr), m_sessionType(sessionType), m_server(server), m_silent(silent)
{}

AutoUpdater::~AutoUpdater() = default;

void AutoUpdater::DownloadPackage(const QUrl& url, const std::string& sessionId)
{
    m_downloader = QSharedPointer<FileDownloader>(new FileDownloader(url, sessionId), deleteDownloaderLater);
    connect(m_downloader.data(), SIGNAL(FileDownloadFailed(QString)), this, SLOT(FileDownloadFailed(QString)));
    connect(m_downloader.data(), SIGNAL(FileDownloadSuccess(std::string)), this,
            SLOT(FileDownloadSuccess(std::string)));
    connect(m_downloader.data(), SIGNAL(FileDownloadProgress(qlonglong, qlonglong)), this,
            SLOT(FileDownloadProgress(qlonglong, qlonglong)));
    m_downloader->StartDownload();
}

void AutoUpdater::FileDownloadProgress(qlonglong total, qlonglong totalDownloaded)
{
    if (!m_progress) {
        m_progress.reset(new QProgressDialog());
        m_progress->setCancelButton(nullptr);
        // Server texts go into the label: never interpret them as markup.
        auto* label = new QLabel(m_progress.data());
        label->setTextFormat(Qt::PlainText);
        m_progress->setLabel(label);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        // Shown and hidden only here: the dialog's own timed showing would
        // undo the silent flag.
        m_progress->setMinimumDuration(INT_MAX);
    }
    // Each download has its own size.
    if (total > 0 && m_progress->maximum() != total) {
        m_progress->setMaximum(static_cast<int>(qMin<qlonglong>(total, INT_MAX)));
    }
    if (m_silent)
        m_progress->hide();
    else
        m_progress->show();
    m_progress->setValue(static_cast<int>(qMin<qlonglong>(totalDownloaded, INT_MAX)));
}

void AutoUpdater::FileDownloadSuccess(std::string file)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("File downloaded: ", file));
    if (m_progress)
        m_progress->hide();
}

void AutoUpdater::FileDownloadFailed(QString errMessage)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to download file", errMessage));
    if (m_progress)
        m_progress->hide();
    emit UpdateFail(errMessage, false);
}

void AutoUpdater::InstallFailed(QString errMessage)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Installation failed", errMessage));
    emit UpdateFail(errMessage, false);
}

void AutoUpdater::InstallSuccess()
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Installation package download succeeded");
}

bool AutoUpdater::GetHash(const QString& fileName, QCryptographicHash& hash)
{
    // A regular file only, opened without blocking and never through a
    // link: a FIFO or a device in its place must not stop or flood the check.
    struct stat status {};
    const UniqueFd file = openRegularFile(QFile::encodeName(fileName).toStdString(), status);
    if (file.get() < 0 || static_cast<unsigned long long>(status.st_size) > kPackageFileLimit) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to open file", fileName));
        return false;
    }
    if (!readInPieces(file.get(), kPackageFileLimit, [&hash](const char* piece, size_t size) {
            hash.addData(QByteArrayView(piece, static_cast<qsizetype>(size)));
            return true;
        })) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, "failed to read file");
        return false;
    }
    return true;
}

bool AutoUpdater::VerifySignature(const QString& fileName, const QString& signature)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!GetHash(fileName, hash))
        return false;
    const QByteArray digest = hash.result().toBase64();
    CSignature checker;
    const bool valid = checker.VerifyDigest(CString(signature.toUtf8().constData()), CString(digest.constData()));
    if (valid)
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Package verified succesfully");
    else
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, "Package signature is invalid");
    return valid;
}

} // namespace qt
} // namespace tessal
