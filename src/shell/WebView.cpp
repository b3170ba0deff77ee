#include "shell/WebView.h"

#include <QObject>
#include <QTimer>
#include <QWebChannel>
#include <QWebEngineHistory>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/m_system.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "WebView";

const char kErrorPageTemplate[] =
    "<style>body {font-family: Tahoma;background-color: #eeeeee;}.main {margin-top: 50px;margin-bottom: "
    "50px;margin-left: auto;margin-right: auto;box-sizing: border-box;max-width: 500px;width: 100%;}.textDiv "
    "{font-size: 1em;}a.close {border-radius: 0px;cursor: pointer;padding: 10px 250px;float: left;margin-top: "
    "50px;}a.close:hover {box-shadow: 0 1px 3px rgba(0, 0, 0, .50);}</style><body><div class='main'><h1>%1</h1><div "
    "class='textDiv'>%2</div><div><a class='close' href='javascript:setTimeout(\"window.close()\", "
    "100)'>Close</a><br></div></div></body>";
static_assert(sizeof(kErrorPageTemplate) - 1 == 549, "error page template");

// A renderer that dies again at once (memory the page cannot have, a crash
// it causes) is not restarted over and over.
constexpr long long kRendererRestartMs = 60000;
} // namespace

WebView::WebView(QWidget* parent) : QWebEngineView(parent)
{
    setContextMenuPolicy(Qt::PreventContextMenu);
    setPage(new WebPage(this));
    initRestart();
}

WebView::WebView(WebPage* madeFirst) : QWebEngineView(static_cast<QWidget*>(nullptr))
{
    setContextMenuPolicy(Qt::PreventContextMenu);
    madeFirst->setParent(this);
    setPage(madeFirst);
    initRestart();
}

void WebView::initRestart()
{
    heldRestart = new QTimer(this);
    heldRestart->setSingleShot(true);
    connect(heldRestart, &QTimer::timeout, this, [this]() { restartRenderer(heldRestartHtml); });
}

WebView::~WebView() = default;

void WebView::setPage(WebPage* page)
{
    if (currentPage != nullptr)
        currentPage->deleteLater();
    currentPage = page;
    QWebEngineView::setPage(page);
    connect(page, SIGNAL(loadingUrl(QUrl)), this, SIGNAL(urlChanged(QUrl)));
    connect(page, &QWebEnginePage::loadFinished, this, &WebView::onLoadFinished);
    connect(page, &QWebEnginePage::loadingChanged, this, &WebView::onLoadingChanged);
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &WebView::onRenderProcessTerminated);
    // Qt 6.4 names the type by its full scope in the signal's signature.
    connect(page, SIGNAL(featurePermissionRequested(QUrl, QWebEnginePage::Feature)), this,
            SLOT(onFeaturePermissionRequested(QUrl, QWebEnginePage::Feature)));
}

void WebView::setAuthenticationHandler(QObject* handler)
{
    if (currentPage != nullptr)
        currentPage->setAuthenticationHandler(handler);
}

void WebView::load(const QUrl& url, bool navigationAllowed)
{
    loadedUrl = url;
    errorHtml.clear();
    heldRestart->stop();
    if (currentPage != nullptr)
        currentPage->setLoadParams(navigationAllowed, url);
    QWebEngineView::load(url);
}

QUrl WebView::currentUrl() const
{
    const QUrl current = url();
    return current.isEmpty() ? loadedUrl : current;
}

QString WebView::errorPageHtml(const QString& title, const QString& text, Qt::TextFormat textFormat)
{
    // Only the program's own markup stays markup: what the title and the text
    // carry (server texts, codes from URLs) is shown as text.
    QString body = textFormat == Qt::RichText ? text : text.toHtmlEscaped();
    body.replace(QLatin1Char('\n'), QLatin1String("</br>"));
    body += QLatin1String("</br>") + QObject::tr("Please try again or contact your system administrator");
    return QString::fromLatin1(kErrorPageTemplate).arg(title.toHtmlEscaped(), body);
}

void WebView::showErrorPage(const QString& title, const QString& text, Qt::TextFormat textFormat)
{
    errorPageLoading = true;
    errorHtml = errorPageHtml(title, text, textFormat);
    heldRestart->stop();
    setHtml(errorHtml, QUrl(QStringLiteral("about:blank")));
}

void WebView::onRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Page renderer ended, status %1, exit code %2", static_cast<int>(status), exitCode));
    // A normal end is the window's own.
    if (status == QWebEnginePage::NormalTerminationStatus)
        return;
    // What was on show when it ended.
    const QString html = errorHtml;
    const long long now = monotonicMs();
    const long long since = rendererRestartMs < 0 ? kRendererRestartMs : now - rendererRestartMs;
    if (since >= kRendererRestartMs) {
        rendererRestartMs = now;
        // Out of the engine's own call; the new renderer finds the page's
        // scripts and web channel as the last one did.
        QTimer::singleShot(0, this, [this, html]() { restartRenderer(html); });
        return;
    }
    // Again within the minute: not at once, but once the minute has passed.
    // The error page's own renderer gets no error page.
    if (html.isEmpty() && rendererLost)
        rendererLost();
    if (!heldRestart->isActive()) {
        heldRestartHtml = html;
        heldRestart->start(static_cast<int>(kRendererRestartMs - since));
    }
}

void WebView::restartRenderer(const QString& html)
{
    rendererRestartMs = monotonicMs();
    if (!html.isEmpty()) {
        errorPageLoading = true;
        errorHtml = html;
        setHtml(html, QUrl(QStringLiteral("about:blank")));
    } else if (!loadedUrl.isEmpty()) {
        errorHtml.clear();
        QWebEngineView::load(loadedUrl);
    }
}

void WebView::onLoadFinished(bool ok)
{
    // The engine lets a script close only a window with a single history
    // entry; the error page's Close link has to work.
    if (errorPageLoading && ok && currentPage != nullptr && url() == QUrl(QStringLiteral("about:blank"))) {
        errorPageLoading = false;
        history()->clear();
    }
}

void WebView::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        urlAtLoadStart = url();
        return;
    }
    // A navigation that never commits ends as stopped, not as failed.
    lastLoadKept =
        info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && !info.isErrorPage() && url() == urlAtLoadStart;
}

void WebView::onFeaturePermissionRequested(QUrl securityOrigin, QWebEnginePage::Feature feature)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Not supported, url %1, feature %2, denied", securityOrigin.toString(),
                               static_cast<int>(feature)));
    if (currentPage != nullptr)
        currentPage->setFeaturePermission(securityOrigin, feature, QWebEnginePage::PermissionDeniedByUser);
}

} // namespace qt
} // namespace tessal
