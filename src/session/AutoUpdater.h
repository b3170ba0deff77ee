#pragma once
// Base of the self-updater: downloads through a FileDownloader, shows the
// progress, checks package signatures, and turns download and installation
// outcomes into the updater's result signals. What to update is the
// subclass's business.

#include "session/FileDownloader.h"
#include "session/Installer.h"

#include <QCryptographicHash>
#include <QObject>
#include <QProgressDialog>
#include <QSharedPointer>
#include <QString>
#include <QUrl>

#include <string>

namespace tessal {
namespace qt {

class ConnectivityProfileParser;

class AutoUpdater : public QObject
{
    Q_OBJECT

public:
    AutoUpdater(int sessionType, const QUrl& server, bool silent);
    ~AutoUpdater() override;

    virtual void CheckForUpdates(const ConnectivityProfileParser& profile) = 0;

    void DownloadPackage(const QUrl& url, const std::string& sessionId);
    bool GetHash(const QString& fileName, QCryptographicHash& hash);
    bool VerifySignature(const QString& fileName, const QString& signature);

    // For the session's checks and the tests.
    QProgressDialog* progressDialog() const { return m_progress.data(); }
    Installer* installer() const { return m_installer.data(); }

signals:
    void UpdateSuccess();
    void UpdateFail(QString message, bool ignore);
    void UpdateIgnored();
    void InstallIgnored();

public slots:
    virtual void FileDownloadFailed(QString errMessage);
    virtual void FileDownloadSuccess(std::string file);
    virtual void FileDownloadProgress(qlonglong total, qlonglong totalDownloaded);
    virtual void InstallFailed(QString errMessage);
    virtual void InstallSuccess();

protected:
    QSharedPointer<FileDownloader> m_downloader;
    QSharedPointer<Installer> m_installer;
    QSharedPointer<QProgressDialog> m_progress;
    int m_sessionType;
    QUrl m_server;
    bool m_silent;
};

} // namespace qt
} // namespace tessal
