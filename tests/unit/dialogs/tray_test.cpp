// The process-wide tray icon outlives whatever object its first caller
// named, and its "Quit" asks the program to quit whoever made it.

#include <QCoreApplication>
#include <QMenu>
#include <QObject>

#include <gtest/gtest.h>

#include "dialogs/DialogsTestSeam.h"
#include "dialogs/Notification.h"

using tessal::qt::DialogsTestSeam;
using tessal::qt::Notification;
using tessal::qt::ShowTrayIcon;

TEST(TrayIcon, QuitAsksTheProgramToQuitWhoeverMadeTheIcon)
{
    // Made first by a balloon, without a window.
    Notification* icon = ShowTrayIcon(nullptr, 5);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->parent(), QCoreApplication::instance());
    ASSERT_EQ(icon->contextMenu()->actions().size(), 1);
    QObject window;
    EXPECT_EQ(ShowTrayIcon(&window, 9), icon); // same icon, whatever later callers pass

    icon->contextMenu()->actions().first()->trigger();
    EXPECT_TRUE(tessal::qt::quitRequested());
    DialogsTestSeam::forgetQuitRequest();
}
