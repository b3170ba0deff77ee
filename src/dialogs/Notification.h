#pragma once
// The process's tray icon and its message balloons. A balloon with the same
// title and text as the last one is not shown again within the repeat
// interval.

#include <cstdint>
#include <functional>
#include <memory>

#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QMenu;

namespace tessal {
namespace qt {

class Notification : public QSystemTrayIcon
{
    Q_OBJECT
public:
    // Seconds of the monotonic clock; tests put their own clock in.
    using Clock = std::function<std::int64_t()>;

    // closeTarget receives the close event of the "Quit" entry; the icon does
    // not belong to it, so the icon outlives it.
    Notification(std::int64_t repeatInterval, QObject* closeTarget, QObject* parent = nullptr, Clock clock = Clock());
    ~Notification() override;

    void showMessage(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon, int msecs);
    void showError(const QString& message, const QString& title = QString(), int msecs = 10000);
    void showWarning(const QString& message, const QString& title = QString(), int msecs = 10000);
    void showInformation(const QString& message, const QString& title = QString(), int msecs = 10000);

    // The context menu lives as long as the icon.
    void setOwnedContextMenu(std::unique_ptr<QMenu> menu);

public slots:
    void CatchQuit();

protected:
    virtual bool canShowMessages() const;
    virtual void showBalloon(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                             int msecs);

private:
    QString lastMessage;
    QString lastTitle;
    std::int64_t repeatInterval;
    std::int64_t lastShown = 0;
    QPointer<QObject> closeTarget;
    Clock clock;
    std::unique_ptr<QMenu> menu;
};

// The process-wide tray icon, created and shown on the first call (later
// calls return it and ignore their arguments). parent is where "Quit" sends
// its close event; the icon itself belongs to the application object, so a
// window that goes away never takes the icon with it.
Notification* ShowTrayIcon(QObject* parent, int interval);

} // namespace qt
} // namespace tessal
