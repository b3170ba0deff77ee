#include "shell/MainWindow.h"

#include <cmath>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineProfile>

#include "dialogs/MessageBox.h"
#include "dialogs/Notification.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "tessal_config.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "MainWindow";
constexpr const char* kMakerAddress = "https://www.tessal.example/";
constexpr int kRealCloseDelayMs = 10;
// The pages poll their server for as long as a session lasts, each answer
// under a new URL: left to itself the engine sizes its memory cache by the
// machine's memory, tens of megabytes.
constexpr int kHttpCacheBytes = 1 << 20;

// Before the first page: the profile is the engine's, one for the process.
void boundHttpCache()
{
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    if (profile->httpCacheMaximumSize() == kHttpCacheBytes)
        return;
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setHttpCacheMaximumSize(kHttpCacheBytes);
}
} // namespace

MainWindow::MainWindow(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    boundHttpCache();
    view = new WebView();
    build();
}

MainWindow::MainWindow(WebView* madeView) : view(madeView)
{
    build();
}

MainWindow* MainWindow::madeAhead()
{
    boundHttpCache();
    // The renderer's start is the longest wait before the page can load. The
    // engine makes a page's contents, and starts its renderer, at its first
    // action or load; a stop of a page that loads nothing is an action that
    // requests nothing and changes nothing. The view, the menus and the
    // layout are made while the renderer starts.
    auto* page = new WebPage();
    page->triggerAction(QWebEnginePage::Stop);
    auto* window = new MainWindow(new WebView(page));
    window->ensurePolished();
    if (QLayout* own = window->layout())
        own->activate();
    return window;
}

void MainWindow::build()
{
    // Made ahead of its page: the icon's header is read now, not when the window shows.
    windowIcon().actualSize(QSize(64, 64));
    setWindowFlags(windowFlags() ^ Qt::WindowMaximizeButtonHint);
    setToolButtonStyle(Qt::ToolButtonFollowStyle);
    // No self-deletion on close: the controller's shared pointer owns the
    // window, so a second owner would delete it twice.

    QMenu* fileMenu = menuBar()->addMenu(QObject::tr("&File"));
    QAction* quit = fileMenu->addAction(QObject::tr("&Quit"));
    quit->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::Key_W)});
    connect(quit, SIGNAL(triggered()), this, SLOT(close()));
    QMenu* helpMenu = menuBar()->addMenu(QObject::tr("&Help"));
    QAction* about = helpMenu->addAction(QObject::tr("&About ") + QCoreApplication::applicationName());
    connect(about, SIGNAL(triggered()), this, SLOT(slotAboutApplication()));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setCentralWidget(central);

    setMinimumSize(640, 480);
    setMaximumSize(1280, 960);
    resize(640, 480);

    connect(view, SIGNAL(loadStarted()), this, SLOT(webViewLoadStarted()));
    setTitle(QString(), QString());
}

void MainWindow::showTrayIcon()
{
    // Recorded under the window's making, where readers of the log look for it.
    if (ShowTrayIcon(this, 5) != nullptr)
        ULOG_VERBOSE(kLogFile, "tessal::qt::MainWindow::MainWindow(QWidget*, Qt::WindowFlags)",
                     "Notification-area instantiated");
}

MainWindow::~MainWindow() = default;

QSize MainWindow::hintForScreen(const QSize& screen)
{
    return QSize(static_cast<int>(std::lround(screen.width() * 0.9)),
                 static_cast<int>(std::lround(screen.height() * 0.9)));
}

QSize MainWindow::sizeHint() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return QMainWindow::sizeHint();
    return hintForScreen(screen->geometry().size());
}

void MainWindow::setTitle(const QString& first, const QString& second)
{
    const QString name = QCoreApplication::applicationName();
    if (!first.isEmpty() && !second.isEmpty())
        setWindowTitle(QObject::tr("%1 - %2 - %3").arg(first, second, name));
    else
        setWindowTitle(name);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!reallyClosing) {
        event->ignore();
        emit windowClosed();
        return;
    }
    event->accept();
}

void MainWindow::realCloseWindow()
{
    reallyClosing = true;
    if (view)
        view->stop();
    // The window is the timer's context: a window gone first takes the timer along.
    QTimer::singleShot(kRealCloseDelayMs, Qt::PreciseTimer, this, [this]() { close(); });
}

void MainWindow::slotViewPageSource()
{
    if (!view)
        return;
    auto* editor = new QPlainTextEdit();
    editor->setWindowTitle(QObject::tr("Page Source of %1").arg(view->title()));
    editor->setMinimumWidth(640);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->show();
    QPointer<QPlainTextEdit> target(editor);
    view->page()->toHtml([target](const QString& html) {
        if (target)
            target->setPlainText(html);
    });
}

void MainWindow::slotAboutApplication()
{
    const QString name = QCoreApplication::applicationName();
    // As the toolkit's About box, in the program's box that fits its title.
    MessageBox box(QMessageBox::NoIcon, QObject::tr("About %1").arg(name),
                   QObject::tr("<b>%1</b><br>Version %2<br><a href=\"%3\">%3</a>")
                       .arg(name, QStringLiteral(TESSAL_VERSION), QString::fromLatin1(kMakerAddress)),
                   QMessageBox::Ok, this);
    const QIcon icon = box.windowIcon();
    box.setIconPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));
    execQuestion(box, QMessageBox::NoButton);
}

void MainWindow::geometryChangeRequested(QRect geometry)
{
    setGeometry(geometry);
}

void MainWindow::webViewLoadStarted() {}

} // namespace qt
} // namespace tessal
