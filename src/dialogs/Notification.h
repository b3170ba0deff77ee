#pragma once
// The process's tray icon and its message balloons. A balloon with the same
// title and text as the last one is not shown again within the repeat
// interval. Its "Quit" asks the process to quit (QuitRequest), whoever made
// the icon and whatever runs at the time.

#include <cstdint>
#include <functional>
#include <memory>

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

    explicit Notification(std::int64_t repeatInterval, QObject* parent = nullptr, Clock clock = Clock());
    ~Notification() override;

    void showMessage(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon, int msecs);
    void showError(const QString& message, const QString& title = QString(), int msecs = 10000);
    void showWarning(const QString& message, const QString& title = QString(), int msecs = 10000);
    void showInformation(const QString& message, const QString& title = QString(), int msecs = 10000);

    // The context menu lives as long as the icon.
    void setOwnedContextMenu(std::unique_ptr<QMenu> menu);

public slots:
    // The "Quit" entry: open questions end as refusals, a launch under way
    // stops, and the program closes everything and ends.
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
    Clock clock;
    std::unique_ptr<QMenu> menu;
};

// The process-wide tray icon, created and shown on the first call (later
// calls return it and ignore their arguments). The icon belongs to the
// application object, so a window that goes away never takes it along; the
// window a caller names no longer matters, as "Quit" ends the whole program.
Notification* ShowTrayIcon(QObject* window, int interval);

} // namespace qt
} // namespace tessal
