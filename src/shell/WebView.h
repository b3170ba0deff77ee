#pragma once
// The session window's web view: owns its page, denies every feature a page
// asks for, shows the program's own error page, and remembers the URL it was
// asked to load.

#include <functional>

#include <QPointer>
#include <QTimer>
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
    // With a page made before the view; the view becomes its parent.
    explicit WebView(WebPage* madeFirst);
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

    // Called when the page's renderer ended and the page was not loaded
    // again at once (that happens at most once a minute): the view is blank
    // until the handler shows something, and loads the page again once the
    // minute has passed, unless something else was loaded or shown meanwhile.
    void setRendererLostHandler(std::function<void()> handler) { rendererLost = std::move(handler); }
    // True while the program's error page is on show (or on its way).
    bool showsErrorPage() const { return !errorHtml.isEmpty(); }

    // The error page's HTML for a title (plain text) and a text.
    static QString errorPageHtml(const QString& title, const QString& text, Qt::TextFormat textFormat = Qt::PlainText);

public slots:
    void onFeaturePermissionRequested(QUrl securityOrigin, QWebEnginePage::Feature feature);

private:
    void onLoadFinished(bool ok);
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void onRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode);
    // Loads again, in a new renderer, what was on show: html, or the page loaded when it is empty.
    void restartRenderer(const QString& html);
    void initRestart();

    QPointer<QWebChannel> channel;
    QUrl loadedUrl;
    WebPage* currentPage = nullptr;
    bool errorPageLoading = false;
    QUrl urlAtLoadStart;
    bool lastLoadKept = false;
    // The program's error page on show, and its HTML.
    QString errorHtml;
    // When the page was last loaded again after its renderer ended (monotonicMs), -1 never.
    long long rendererRestartMs = -1;
    std::function<void()> rendererLost;
    // The restart held back to the end of the minute, and what it loads.
    QTimer* heldRestart = nullptr;
    QString heldRestartHtml;
};

} // namespace qt
} // namespace tessal
