#pragma once
// The engine keeps a certificate it was told to accept for the whole host,
// whatever the port. This guard holds such an acceptance to the ports it was
// given for: an https request to another port of that host goes through only
// when the HTTP client trusted a certificate for that very port.

#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace tessal {
namespace qt {

class CertificatePortGuard final : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT

public:
    explicit CertificatePortGuard(QObject* parent = nullptr);
    ~CertificatePortGuard() override;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    // The engine was told to accept a certificate for url's host (process-wide,
    // as the engine's own exceptions are).
    static void noteAccepted(const QUrl& url);
    // False for an https (or wss) request to a port of an accepted host for
    // which no certificate is trusted.
    static bool mayRequest(const QUrl& url);

signals:
    void requestBlocked(QUrl url);
};

} // namespace qt
} // namespace tessal
