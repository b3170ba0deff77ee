#pragma once
// The session window's web view: owns its page, denies every feature a page
// asks for, shows the program's own error page, and remembers the URL it was
// asked to load.

#include <QPointer>
#include <QUrl>
#include <QWebEngineView>

#include "shell/WebPage.h"

#include <QWebChannel>

namespace tessal {
namespace qt {

class WebView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    void setPage(WebPage* page);
    WebPage* page() const { return currentPage; }
    void setAuthenticationHandler(QObject* handler);
    void load(const QUrl& url, bool navigationAllowed);
    QUrl currentUrl() const;
    void showErrorPage(const QString& title, const QString& text);

    // The page's web channel; its parent is the page.
    QWebChannel* webChannel() const { return channel; }
    void setWebChannel(QWebChannel* webChannel) { channel = webChannel; }

    // The error page's HTML for a title and a text (both plain text).
    static QString errorPageHtml(const QString& title, const QString& text);

public slots:
    void onFeaturePermissionRequested(QUrl securityOrigin, QWebEnginePage::Feature feature);

private:
    QPointer<QWebChannel> channel;
    QUrl loadedUrl;
    WebPage* currentPage = nullptr;
};

} // namespace qt
} // namespace tessal
