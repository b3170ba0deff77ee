#include "session/FileDownloader.h"

#include "foundation/IUErrorLog.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "/FileDownloader";
constexpr uint32_t kInactivityLimitMs = 60000;
// A package may take five minutes, and a quarter of a minute for each MiB
// (a line of 64 KiB/s) on top: a server that keeps it trickling is cut off.
constexpr uint32_t kDownloadFloorMs = 300000;
constexpr uint32_t kDownloadMsPerMiB = 16000;
} // namespace

FileDownloader::FileDownloader(const QUrl& url, const std::string& sessionId)
    : QObject(nullptr), m_url(url), m_client(sessionId, true)
{
    m_client.setBounds({HttpNetworkManager::kMaxBodySize, kDownloadFloorMs, kDownloadMsPerMiB});
    connect(&m_client, SIGNAL(RequestFinished(Err::HttpNetworkManager, QString)), this,
            SLOT(RequestFinished(Err::HttpNetworkManager, QString)));
    connect(&m_client, SIGNAL(DownloadProgress(qint64, qint64)), this, SLOT(Progress(qlonglong, qlonglong)));
}

FileDownloader::~FileDownloader() = default;

void FileDownloader::StartDownload()
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Starting to download", m_url.path(QUrl::FullyDecoded)));
    m_client.HttpGet(m_url, kInactivityLimitMs);
}

void FileDownloader::RequestFinished(Err::HttpNetworkManager error, QString message)
{
    if (error != Err::Success) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Failed to download file. Error occurred (%1)", message));
        emit FileDownloadFailed(message);
        return;
    }
    emit FileDownloadSuccess(m_client.TempFileName().toStdString());
}

void FileDownloader::Progress(qlonglong total, qlonglong downloaded)
{
    emit FileDownloadProgress(total, downloaded);
}

} // namespace qt
} // namespace tessal
