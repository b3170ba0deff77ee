#include "shell/WebPage.h"

#include <QWebEngineCertificateError>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "session/HttpNetworkManager.h"
#include "shell/CertificatePortGuard.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "/WebPage";
} // namespace

WebPage::WebPage(QObject* parent) : QWebEnginePage(parent)
{
    // A link of a scheme no web page serves must not reach the desktop's handlers.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    settings()->resetAttribute(QWebEngineSettings::JavascriptCanOpenWindows);
    connect(this, &QWebEnginePage::certificateError, this, &WebPage::onCertificateError);
    auto* guard = new CertificatePortGuard(this);
    connect(guard, &CertificatePortGuard::requestBlocked, this, &WebPage::noteRefused);
    setUrlRequestInterceptor(guard);
    connect(this, &QWebEnginePage::loadStarted, this, [this]() { refusedServers.clear(); });
}

WebPage::~WebPage() = default;

void WebPage::setLoadParams(bool allowed, const QUrl& url)
{
    navigationAllowed = allowed;
    loadUrl = url;
}

void WebPage::setAuthenticationHandler(QObject* handler)
{
    // Made by signature text: a handler without these slots gets no
    // connection, and the engine then cancels the request.
    if (handler != nullptr &&
        handler->metaObject()->indexOfSlot("authenticationRequired(QUrl,QAuthenticator*)") >= 0)
        connect(this, SIGNAL(authenticationRequired(const QUrl&, QAuthenticator*)), handler,
                SLOT(authenticationRequired(const QUrl&, QAuthenticator*)));
    if (handler != nullptr &&
        handler->metaObject()->indexOfSlot("proxyAuthenticationRequired(QUrl,QAuthenticator*,QString)") >= 0)
        connect(this, SIGNAL(proxyAuthenticationRequired(const QUrl&, QAuthenticator*, const QString&)), handler,
                SLOT(proxyAuthenticationRequired(const QUrl&, QAuthenticator*, const QString&)));
    authenticationHandler = handler;
}

bool WebPage::acceptNavigationRequest(const QUrl& url, QWebEnginePage::NavigationType, bool)
{
    if (firstRequest) {
        firstRequest = false;
        return true;
    }
    if (!navigationAllowed)
        return false;
    acceptedUrl = url;
    emit loadingUrl(url);
    return true;
}

void WebPage::onCertificateError(const QWebEngineCertificateError& error)
{
    QWebEngineCertificateError answer = error;
    const QUrl url = answer.url();
    const QList<QSslCertificate> chain = answer.certificateChain();
    const QSslCertificate leaf = chain.isEmpty() ? QSslCertificate() : chain.first();
    if (!leaf.isNull() && answer.isOverridable()) {
        const char* trust = isVerifiedServerCertificate(url, leaf)   ? "Certificate verified by the system accepted, url %1"
                            : isAcceptedServerCertificate(url, leaf) ? "Certificate accepted by the user, url %1"
                                                                     : nullptr;
        if (trust != nullptr) {
            ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat(trust, url.toString()));
            CertificatePortGuard::noteAccepted(url);
            answer.acceptCertificate();
            return;
        }
    }
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Certificate refused, url %1, error %2", url.toString(), answer.description()));
    noteRefused(url);
    answer.rejectCertificate();
}

void WebPage::noteRefused(const QUrl& url)
{
    refusedServers.insert(certificateServerKey(url));
}

bool WebPage::certificateRefused(const QUrl& url) const
{
    return refusedServers.contains(certificateServerKey(url));
}

} // namespace qt
} // namespace tessal
