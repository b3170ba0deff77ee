#pragma once
// The one HTTP(S) client: fixed headers and session cookie, inactivity limit
// for GET, its own redirection following, a per-response size cap, body to
// memory or to a temporary file, the user's consent for server certificates
// that fail verification (through the one verifier), and one result signal
// per request.

#include <QList>
#include <QMetaType>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QSslError>
#include <QString>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CString;
class QWidget;

namespace tessal {
namespace qt {

namespace Err {
Q_NAMESPACE
// Result of one request as emitted with RequestFinished. 3 to 6 are never produced.
enum HttpNetworkManager {
    Success = 0,
    WrongHttpCode = 1,
    NetworkError = 2,
    MaxRedirection = 7,
};
Q_ENUM_NS(HttpNetworkManager)
} // namespace Err

// Inactivity record of one GET, shared by the request, its reply and copies.
struct NetworkReplyAttribute {
    QPointer<QTimer> timer; // owned by the reply once sent
    qint64 lastActivity = 0; // monotonicMs()
    uint32_t timeout = 0; // milliseconds
};

class HttpNetworkManager : public QNetworkAccessManager
{
    Q_OBJECT

public:
    // Configured: the TLS configuration is the default one as it stands when
    // the client is made. Unused: for a client that speaks to one plain-HTTP
    // origin only, which then does not wait for the ciphers and certificates
    // to be loaded; a TLS request of its would take the default one as it
    // stands when sent.
    enum class Tls { Configured, Unused };

    // Bodies go to a temporary file when toFile is set, else into body().
    explicit HttpNetworkManager(const std::string& sessionId = std::string(), bool toFile = false,
                                Tls tls = Tls::Configured);
    ~HttpNetworkManager() override;

    HttpNetworkManager(const HttpNetworkManager&) = delete;
    HttpNetworkManager& operator=(const HttpNetworkManager&) = delete;

    void HttpGet(const QUrl& url, uint32_t timeoutMs);
    void HttpPost(const QUrl& url, const QString& body);
    void SetParentWidget(QWidget* parent);
    // Told true before a certificate dialog of this client opens and false
    // after it has closed, so an owner can hold its own time limits meanwhile.
    void setCertificateDialogObserver(std::function<void(bool open)> observer)
    {
        m_dialogObserver = std::move(observer);
    }

    // When set, a redirection to another origin (scheme, host, port) ends the
    // request instead of being followed: for the exchanges made before the
    // user has said yes to the server.
    void setSameOriginRedirectionsOnly(bool on) { m_sameOriginOnly = on; }

    // The response body in memory mode, valid after a success result.
    const std::vector<char>& body() const { return m_body; }
    // Name of the downloaded file in file mode after a success result; empty
    // when no body arrived.
    QString TempFileName() const { return m_tempFileName; }
    // The template request every request starts from (fixed headers, cookie).
    QNetworkRequest& request() { return m_request; }

    // Largest accepted body: one byte less than 200 MiB.
    static constexpr qint64 kMaxBodySize = 209715199;
    static constexpr int kMaxRedirections = 10;
    // Whole time of an exchange whose owner states none.
    static constexpr uint32_t kDefaultTotalMs = 180000;

    // What one exchange may take, stated by each owner for its own use: the
    // body's bytes (as they arrive, and once inflated; never above
    // kMaxBodySize) and the whole time from the request to its end,
    // redirections and slow pieces included (0: no bound). The whole time
    // grows by perMiBMs for every MiB the final reply announces (the body
    // bound when it announces none), so a large download gets its share.
    struct Bounds {
        qint64 bodyBytes = kMaxBodySize;
        uint32_t totalMs = kDefaultTotalMs;
        uint32_t perMiBMs = 0;
    };
    void setBounds(const Bounds& bounds);
    // True once the last request was ended because its body passed the bound.
    bool bodyBoundReached() const { return m_bodyBoundReached; }

signals:
    void RequestFinished(Err::HttpNetworkManager error, QString message);
    void DownloadProgress(qlonglong total, qlonglong totalDownloaded);
    void SslCertificateDenied(QNetworkReply* reply);
    void ResponseDataAvailable(QNetworkReply* reply);

public slots:
    void SSLErrors(QNetworkReply* reply, const QList<QSslError>& errors);
    void Finished(QNetworkReply* reply);
    void Read();
    void RequestFinished();
    void error(QNetworkReply::NetworkError code);

private:
    void RequestAbort(QNetworkReply* reply, bool timedOut) const;
    void RequestTimeout(QNetworkReply* reply) const;
    bool OpenTempFile(QNetworkReply* reply);
    bool AcceptInvalidServerCert(QNetworkReply* reply, QString errorText);
    void checkEncrypted(QNetworkReply* reply);

    static void setFixedHeaders(QNetworkRequest& request);
    void resetRequestState();
    void discardTempFile();
    // Ends the running request without reporting it; its file goes too.
    void dropUnfinished();
    void connectReply(QNetworkReply* reply);
    QNetworkReply* sendGet(QNetworkRequest request, uint32_t timeoutMs);
    void finishRequest(Err::HttpNetworkManager code, const QString& message);
    void followRedirection(QNetworkReply* reply, int status);
    bool decodeBody(QNetworkReply* reply);
    bool withinBodyBound(QNetworkReply* reply, qint64 bytes);
    void startDeadline();
    void armDeadline();
    void extendDeadlineFor(QNetworkReply* reply);
    void holdDeadline(bool dialogOpen);
    void deadlineReached();

    QNetworkRequest m_request;
    std::vector<char> m_body;
    qint64 m_bytesReceived = 0;
    bool m_toFile = false;
    qint64 m_redirections = 0;
    QUrl m_currentUrl;
    QUrl m_originUrl; // URL given to HttpGet/HttpPost: the session cookie's origin
    uint32_t m_timeoutMs = 0; // inactivity limit of the running request, 0 for none
    std::unique_ptr<QTemporaryFile> m_tempFile;
    QString m_tempFileName;
    bool m_running = false;
    bool m_sameOriginOnly = false;
    std::string m_sessionId;
    QPointer<QWidget> m_dialogParent;
    std::function<void(bool)> m_dialogObserver;
    Bounds m_bounds;
    bool m_bodyBoundReached = false;
    QPointer<QNetworkReply> m_reply; // the reply of the running request
    QTimer m_deadline; // the whole time of the running exchange
    qint64 m_deadlineAt = 0; // monotonicMs() at which it ends; 0 for none
    qint64 m_deadlineHeld = -1; // what was left when a certificate dialog opened
    bool m_deadlineExtended = false;
};

// True when file has a line "flag = yes" (value in any case); the first line
// with that key decides. An unreadable file counts as a flag that is not set.
bool checkFlag(const CString& file, const CString& flag);

} // namespace qt
} // namespace tessal

Q_DECLARE_METATYPE(QSharedPointer<tessal::qt::NetworkReplyAttribute>)
