// The process-wide tray icon outlives whatever object its first caller
// named, and its "Quit" asks the program to quit whoever made it.

#include <QCoreApplication>
#include <QMenu>
#include <QObject>

#include <gtest/gtest.h>

#include "dialogs/DialogsTestSeam.h"
#include "dialogs/Notification.h"
#include "dialogs/QuitRequest.h"

using tessal::qt::DialogsTestSeam;
using tessal::qt::Notification;
using tessal::qt::QuitRequest;
using tessal::qt::ShowTrayIcon;

TEST(TrayIcon, QuitAsksTheProgramToQuitWhoeverMadeTheIcon)
{
    // Made first by a balloon, without a window.
    Notification* icon = ShowTrayIcon(nullptr, 5);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->parent(), QCoreApplication::instance());
    ASSERT_NE(icon->contextMenu(), nullptr);
    ASSERT_EQ(icon->contextMenu()->actions().size(), 1);
    int asked = 0;
    const auto counted = QObject::connect(&QuitRequest::instance(), &QuitRequest::requested, [&asked] { ++asked; });

    auto* window = new QObject;
    EXPECT_EQ(ShowTrayIcon(window, 9), icon); // same icon, whatever later callers pass
    delete window;
    icon->contextMenu()->actions().first()->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(tessal::qt::quitRequested());
    icon->showInformation("still usable", QString(), 10);

    QObject::disconnect(counted);
    DialogsTestSeam::forgetQuitRequest();
}
