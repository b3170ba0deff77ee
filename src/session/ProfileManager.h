#pragma once
// Downloads the session's connectivity profile and parses it; one signal
// ends each download.

#include "session/ConnectivityProfileParser.h"
#include "session/HttpNetworkManager.h"

#include <QObject>
#include <QString>
#include <QUrl>

namespace tessal {
namespace qt {

class ProfileManager : public QObject
{
    Q_OBJECT

public:
    ProfileManager();
    ~ProfileManager() override;

    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;

    // One GET with a 60-second inactivity limit; ends in ProfileDownloadSuccess
    // or ProfileDownloadFailed. Wait for one of them before calling again.
    void DownloadProfile(const QUrl& url);
    // The parser of the last download (the same object for the manager's life).
    const ConnectivityProfileParser& GetParser() const { return m_parser; }

signals:
    void ProfileDownloadSuccess();
    void ProfileDownloadFailed(QString error);

public slots:
    void RequestFinished(Err::HttpNetworkManager errCode, QString errMsg);

private:
    ConnectivityProfileParser m_parser;
    HttpNetworkManager m_http;
};

} // namespace qt
} // namespace tessal
