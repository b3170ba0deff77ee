#pragma once
// The page of the session window: follows navigation requests only while the
// controller allows it (the very first one always), and reports each one it
// follows.

#include <QSet>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>

class QWebEngineCertificateError;

namespace tessal {
namespace qt {

class WebPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit WebPage(QObject* parent = nullptr);
    ~WebPage() override;

    void setLoadParams(bool navigationAllowed, const QUrl& url);
    void setAuthenticationHandler(QObject* handler);

    bool isNavigationAllowed() const { return navigationAllowed; }
    const QUrl& lastAcceptedUrl() const { return acceptedUrl; }
    // True when, since the last load started, a certificate of url's server
    // (scheme, host and port) was refused or a request to it was held back
    // for its certificate.
    bool certificateRefused(const QUrl& url) const;

signals:
    void loadingUrl(QUrl url);

protected:
    bool acceptNavigationRequest(const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame) override;

private:
    // The engine checks against its own store, not the system's. What the
    // HTTP client trusted for this host and port (verified without errors,
    // or accepted by the user in its dialog) is accepted here too, and no
    // other certificate.
    void onCertificateError(const QWebEngineCertificateError& error);
    void noteRefused(const QUrl& url);

    bool navigationAllowed = true;
    QUrl acceptedUrl;
    QUrl loadUrl;
    bool firstRequest = true;
    QObject* authenticationHandler = nullptr;
    QSet<QString> refusedServers;
};

} // namespace qt
} // namespace tessal
