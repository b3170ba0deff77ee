#pragma once
// The page of the session window: follows navigation requests only while the
// controller allows it (the very first one always), and reports each one it
// follows.

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

signals:
    void loadingUrl(QUrl url);

protected:
    bool acceptNavigationRequest(const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame) override;

private:
    // The engine refuses a certificate that fails verification; the one the
    // user accepted for this host and port in the HTTP client's dialog is
    // accepted here too, and no other.
    void onCertificateError(const QWebEngineCertificateError& error);

    bool navigationAllowed = true;
    QUrl acceptedUrl;
    QUrl loadUrl;
    bool firstRequest = true;
    QObject* authenticationHandler = nullptr;
};

} // namespace qt
} // namespace tessal
