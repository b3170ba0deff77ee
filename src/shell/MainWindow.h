#pragma once
// The browser window of a network-access session: the web view, a small menu
// bar and a two-step close. A user's close only tells the controller
// (windowClosed); the window closes once the controller calls
// realCloseWindow. The controller's shared pointer is the window's only owner.

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QSize>

#include "shell/WebView.h"

class QCloseEvent;

namespace tessal {
namespace qt {

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~MainWindow() override;
    // Made while the session's checks are on their way, hidden and with
    // nothing loaded: what the page's request and the window's show would
    // otherwise wait for once they pass.
    static MainWindow* madeAhead();

    WebView* webView() const { return view.data(); }
    void setTitle(const QString& first, const QString& second);
    // The notification-area icon, once the window is the session's.
    void showTrayIcon();
    void realCloseWindow();

    QSize sizeHint() const override;

    // 90 % of a screen size, rounded to the nearest pixel.
    static QSize hintForScreen(const QSize& screen);

signals:
    void windowClosed();

public slots:
    void slotViewPageSource();
    void slotAboutApplication();
    void geometryChangeRequested(QRect geometry);
    void webViewLoadStarted();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit MainWindow(WebView* madeView);
    void build();

    QPointer<WebView> view;
    bool reallyClosing = false;
};

} // namespace qt
} // namespace tessal
