// The process-wide tray icon outlives whatever object its first caller
// named; "Quit" closes that object while it exists and does nothing after.

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QObject>

#include <gtest/gtest.h>

#include "dialogs/Notification.h"

using tessal::qt::Notification;
using tessal::qt::ShowTrayIcon;

namespace {

class CloseRecorder final : public QObject
{
public:
    int closes = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Close)
            ++closes;
        return QObject::event(e);
    }
};

} // namespace

TEST(TrayIcon, LivesOnAfterItsFirstCallerIsGone)
{
    auto* window = new CloseRecorder;
    Notification* icon = ShowTrayIcon(window, 5);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->parent(), QCoreApplication::instance());
    ASSERT_NE(icon->contextMenu(), nullptr);
    ASSERT_EQ(icon->contextMenu()->actions().size(), 1);

    icon->contextMenu()->actions().first()->trigger();
    EXPECT_EQ(window->closes, 1);

    delete window;
    // Same icon for every later caller, whatever they pass.
    CloseRecorder other;
    EXPECT_EQ(ShowTrayIcon(&other, 9), icon);
    icon->CatchQuit(); // its receiver is gone: nothing happens
    icon->showInformation("still usable", QString(), 10);
    EXPECT_EQ(other.closes, 0);
}
