#include "dialogs/Notification.h"

#include "dialogs/QuitRequest.h"
#include "foundation/m_system.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QPixmap>
#include <QScreen>

namespace tessal {
namespace qt {

namespace {

Notification* g_trayIcon = nullptr;

// The repeat interval is a span, not a date: a step of the wall clock must
// not hold a balloon back or let it repeat.
std::int64_t systemSeconds()
{
    return monotonicMs() / 1000;
}

} // namespace

Notification::Notification(std::int64_t repeatInterval, QObject* parent, Clock clock)
    : QSystemTrayIcon(parent), repeatInterval(repeatInterval), clock(clock ? std::move(clock) : Clock(systemSeconds))
{}

Notification::~Notification()
{
    if (g_trayIcon == this)
        g_trayIcon = nullptr;
    // The toolkit keeps only a guarded pointer to the menu.
    setContextMenu(nullptr);
}

void Notification::setOwnedContextMenu(std::unique_ptr<QMenu> newMenu)
{
    setContextMenu(newMenu.get());
    menu = std::move(newMenu);
}

bool Notification::canShowMessages() const
{
    return QSystemTrayIcon::supportsMessages();
}

void Notification::showBalloon(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                               int msecs)
{
    QSystemTrayIcon::showMessage(title, message, icon, msecs);
}

void Notification::showMessage(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                               int msecs)
{
    if (!canShowMessages() || message.isEmpty())
        return;
    const std::int64_t now = clock();
    if (message == lastMessage && title == lastTitle && now - lastShown <= repeatInterval)
        return;
    lastTitle = title;
    lastMessage = message;
    lastShown = now;
    showBalloon(title, message, icon, msecs);
}

void Notification::showError(const QString& message, const QString& title, int msecs)
{
    showMessage(title.isEmpty() ? QCoreApplication::applicationName() + QObject::tr(" - Error") : title, message,
                QSystemTrayIcon::Critical, msecs);
}

void Notification::showWarning(const QString& message, const QString& title, int msecs)
{
    showMessage(title.isEmpty() ? QCoreApplication::applicationName() + QObject::tr(" - Warning") : title, message,
                QSystemTrayIcon::Warning, msecs);
}

void Notification::showInformation(const QString& message, const QString& title, int msecs)
{
    showMessage(title.isEmpty() ? QCoreApplication::applicationName() + QObject::tr(" - Information") : title, message,
                QSystemTrayIcon::Information, msecs);
}

void Notification::CatchQuit()
{
    // The application object closes what is open and ends the process.
    QuitRequest::instance().request();
}

Notification* ShowTrayIcon(QObject* /*window*/, int interval)
{
    if (g_trayIcon != nullptr)
        return g_trayIcon;

    g_trayIcon = new Notification(interval, QCoreApplication::instance());

    auto menu = std::make_unique<QMenu>();
    QAction* quit = menu->addAction(QObject::tr("Quit"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    QObject::connect(quit, SIGNAL(triggered()), g_trayIcon, SLOT(CatchQuit()));
    g_trayIcon->setOwnedContextMenu(std::move(menu));

    QString iconName = QStringLiteral(":TrayIcon");
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr && screen->devicePixelRatio() >= 2.0)
        iconName += QStringLiteral("@2x");
    // As a PNG by name: read by its file name, a resource without a suffix
    // has the MIME database and every image plugin probe its content.
    g_trayIcon->setIcon(QIcon(QPixmap(iconName, "png")));
    g_trayIcon->show();
    return g_trayIcon;
}

} // namespace qt
} // namespace tessal
