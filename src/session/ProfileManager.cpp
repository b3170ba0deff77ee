#include "session/ProfileManager.h"

#include <string>

namespace tessal {
namespace qt {

namespace {
constexpr uint32_t kProfileTimeoutMs = 60000;
// A profile is a few kilobytes of XML; the parser holds several copies of it.
constexpr qint64 kProfileBytes = qint64(4) << 20;
constexpr uint32_t kProfileTotalMs = 180000;
} // namespace

ProfileManager::ProfileManager() : QObject(nullptr), m_http(std::string(), false)
{
    m_http.setBounds({kProfileBytes, kProfileTotalMs, 0});
    connect(&m_http, qOverload<Err::HttpNetworkManager, QString>(&HttpNetworkManager::RequestFinished), this,
            &ProfileManager::RequestFinished, Qt::AutoConnection);
}

ProfileManager::~ProfileManager() = default;

void ProfileManager::DownloadProfile(const QUrl& url)
{
    m_http.HttpGet(url, kProfileTimeoutMs);
}

void ProfileManager::RequestFinished(Err::HttpNetworkManager errCode, QString errMsg)
{
    if (errCode != Err::Success) {
        emit ProfileDownloadFailed(errMsg);
        return;
    }
    const std::vector<char>& body = m_http.body();
    if (!m_parser.Parse(std::string(body.begin(), body.end()))) {
        emit ProfileDownloadFailed(QStringLiteral("pre-config XML parsing failed"));
        return;
    }
    emit ProfileDownloadSuccess();
}

} // namespace qt
} // namespace tessal
