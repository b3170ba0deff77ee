#pragma once
// The page of the session window: follows navigation requests only while the
// controller allows it (the very first one always), and reports each one it
// follows. It decides on the engine's certificate errors and on the
// JavaScript dialogs of the documents it shows.

#include <memory>

#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>

#include "dialogs/QuestionRow.h"

class QDialog;
class QWebEngineCertificateError;
class QWidget;

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
    // The access server: only documents of its origin get JavaScript dialogs.
    void setServerUrl(const QUrl& url) { serverUrl = url; }
    // The count the page's dialogs share with the controller's questions.
    void setQuestionRow(std::shared_ptr<QuestionRow> row)
    {
        if (row)
            dialogRow = std::move(row);
    }
    // The window is closing: an open JavaScript dialog ends, later ones are refused.
    void endJavaScriptDialogs();

    // True when, since the last load started, a certificate of url's server
    // (scheme, host and port) was refused or a request to it was held back
    // for its certificate.
    bool certificateRefused(const QUrl& url) const;

signals:
    void loadingUrl(QUrl url);

protected:
    bool acceptNavigationRequest(const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;

private:
    // The engine checks against its own store, not the system's. A chain the
    // HTTP client would verify for the request's host is accepted on any
    // port; one the user accepted in the HTTP client's dialog only as that
    // very certificate on that very port, and no other certificate.
    void onCertificateError(const QWebEngineCertificateError& error);
    void noteRefused(const QUrl& url);

    bool admitDialog(const QUrl& origin, const char* kind);
    QWidget* dialogParent() const;
    // Answered, ended by the window's close, or gone with the window (and
    // perhaps with this page: nothing of it may be touched then).
    enum class DialogEnd { Answered, Ended, Gone };
    // Runs dialog window-modal.
    DialogEnd runDialog(QDialog* dialog);

    bool navigationAllowed = true;
    QUrl loadUrl;
    bool firstRequest = true;
    QObject* authenticationHandler = nullptr;
    QSet<QString> refusedServers;
    QUrl serverUrl;
    QPointer<QDialog> openDialog;
    bool dialogsEnded = false;
    std::shared_ptr<QuestionRow> dialogRow = std::make_shared<QuestionRow>();
};

} // namespace qt
} // namespace tessal
