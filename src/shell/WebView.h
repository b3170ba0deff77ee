#pragma once
// The session window's web view: owns its page, denies every feature a page
// asks for, shows the program's own error page, and remembers the URL it was
// asked to load.

#include <QPointer>
#include <QUrl>
#include <QWebEngineLoadingInfo>
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
    // text is plain text unless textFormat is Qt::RichText (the program's own markup).
    void showErrorPage(const QString& title, const QString& text, Qt::TextFormat textFormat = Qt::PlainText);

    // True when the last load that ended was stopped without replacing the
    // page or changing its URL (a download, a 204, a refused scheme).
    bool lastLoadKeptPage() const { return lastLoadKept; }

    // The page's web channel; its parent is the page.
    QWebChannel* webChannel() const { return channel; }
    void setWebChannel(QWebChannel* webChannel) { channel = webChannel; }

    // The error page's HTML for a title (plain text) and a text.
    static QString errorPageHtml(const QString& title, const QString& text, Qt::TextFormat textFormat = Qt::PlainText);

public slots:
    void onFeaturePermissionRequested(QUrl securityOrigin, QWebEnginePage::Feature feature);

private:
    void onLoadFinished(bool ok);
    void onLoadingChanged(const QWebEngineLoadingInfo& info);

    QPointer<QWebChannel> channel;
    QUrl loadedUrl;
    WebPage* currentPage = nullptr;
    bool errorPageLoading = false;
    QUrl urlAtLoadStart;
    bool lastLoadKept = false;
};

} // namespace qt
} // namespace tessal
