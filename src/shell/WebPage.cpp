#include "shell/WebPage.h"

#include <QWebEngineCertificateError>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "session/HttpNetworkManager.h"

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
    const QList<QSslCertificate> chain = answer.certificateChain();
    if (!chain.isEmpty() && isAcceptedServerCertificate(answer.url(), chain.first())) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Certificate accepted by the user, url %1", answer.url().toString()));
        answer.acceptCertificate();
        return;
    }
    answer.rejectCertificate();
}

} // namespace qt
} // namespace tessal
