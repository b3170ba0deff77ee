#include "shell/WebPage.h"

#include <QCoreApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QWebEngineCertificateError>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "dialogs/ServerCertificateVerifier.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "shell/CertificatePortGuard.h"
#include "shell/VpnWebBridge.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "WebPage";
// The engine asks with this text (its own) before a page with an unload
// handler is left.
constexpr const char* kLeavePageText =
    "Are you sure you want to leave this page? Changes that you made may not be saved.";
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
    if (handler != nullptr && handler->metaObject()->indexOfSlot("authenticationRequired(QUrl,QAuthenticator*)") >= 0)
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
    // The start page is followed whatever the flag, and reported like the rest.
    if (firstRequest)
        firstRequest = false;
    else if (!navigationAllowed)
        return false;
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
        // Only an issuer the engine does not know is made good by the HTTP
        // client's trust; what the engine found worse (revoked, pinned) stays.
        const bool verified = answer.type() == QWebEngineCertificateError::CertificateAuthorityInvalid &&
                              verifyServerCertificateChain(chain, url.host(QUrl::FullyEncoded)).isEmpty();
        if (verified) {
            ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                         makeArgFormat("Certificate verified by the system accepted, url %1", url.toString()));
            answer.acceptCertificate();
            return;
        }
        if (isAcceptedServerCertificate(url, leaf)) {
            ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                         makeArgFormat("Certificate accepted by the user, url %1", url.toString()));
            // The engine keeps the exception for the whole host: hold it to this port.
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

// ---------------------------------------------------------------- JavaScript dialogs

void WebPage::endJavaScriptDialogs()
{
    dialogsEnded = true;
    if (openDialog)
        openDialog->reject();
}

bool WebPage::admitDialog(const QUrl& origin, const char* kind)
{
    if (dialogsEnded)
        return false;
    if (!VpnWebBridge::sameOrigin(origin, serverUrl)) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("JavaScript %1 of %2 refused: not the server's page", kind, origin.toString()));
        return false;
    }
    return dialogRow->admit([&]() {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("JavaScript %1 of %2 refused: too many in a row", kind, origin.toString()));
    });
}

QWidget* WebPage::dialogParent() const
{
    QWebEngineView* view = QWebEngineView::forPage(this);
    return view != nullptr ? view->window() : nullptr;
}

WebPage::DialogEnd WebPage::runDialog(QDialog* dialog)
{
    // Window-modal: the tray and the program's other windows stay usable.
    // The window itself may go while the dialog runs; so may this page.
    QPointer<WebPage> self(this);
    QPointer<QDialog> alive(dialog);
    dialog->setWindowTitle(QCoreApplication::applicationName());
    dialog->setWindowModality(Qt::WindowModal);
    openDialog = dialog;
    dialog->exec();
    if (!self)
        return DialogEnd::Gone;
    openDialog = nullptr;
    dialogRow->answered();
    if (!alive)
        return DialogEnd::Gone;
    return dialogsEnded ? DialogEnd::Ended : DialogEnd::Answered;
}

void WebPage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg)
{
    if (!admitDialog(securityOrigin, "alert"))
        return;
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Information, QString(), VpnWebBridge::pageText(msg),
                                                QMessageBox::Ok, dialogParent());
    box->setTextFormat(Qt::PlainText);
    runDialog(box);
    delete box.data();
}

bool WebPage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg)
{
    // Leaving a page is never held up by a question that is not asked.
    const bool leaving = msg == QCoreApplication::translate("QWebEnginePage", kLeavePageText);
    if (!admitDialog(securityOrigin, leaving ? "beforeunload" : "confirm"))
        return leaving;
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Question, QString(), VpnWebBridge::pageText(msg),
                                                QMessageBox::Ok | QMessageBox::Cancel, dialogParent());
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Cancel);
    const DialogEnd end = runDialog(box);
    const bool ok = end == DialogEnd::Answered && box->clickedButton() == box->button(QMessageBox::Ok);
    delete box.data();
    return ok || (leaving && end == DialogEnd::Ended);
}

bool WebPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                               QString* result)
{
    if (!admitDialog(securityOrigin, "prompt"))
        return false;
    QPointer<QInputDialog> input = new QInputDialog(dialogParent());
    input->setInputMode(QInputDialog::TextInput);
    input->setLabelText(VpnWebBridge::pageText(msg));
    input->setTextValue(VpnWebBridge::pageText(defaultValue));
    for (QLabel* label : input->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    const bool ok = runDialog(input) == DialogEnd::Answered && input->result() == QDialog::Accepted;
    if (ok && result != nullptr)
        *result = input->textValue();
    delete input.data();
    return ok;
}

} // namespace qt
} // namespace tessal
