#pragma once
// Downloads one file from the access server into a temporary file and
// reports its name, the progress and the outcome.

#include "session/HttpNetworkManager.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <string>

namespace tessal {
namespace qt {

class FileDownloader : public QObject
{
    Q_OBJECT

public:
    FileDownloader(const QUrl& url, const std::string& sessionId);
    ~FileDownloader() override;

    void StartDownload();

signals:
    void FileDownloadFailed(QString errMessage);
    void FileDownloadSuccess(std::string file);
    void FileDownloadProgress(qlonglong total, qlonglong downloaded);

public slots:
    void RequestFinished(Err::HttpNetworkManager error, QString message);
    void Progress(qlonglong total, qlonglong downloaded);

private:
    QUrl m_url;
    HttpNetworkManager m_client;
};

} // namespace qt
} // namespace tessal
