// Tray balloons: a repeat of the same title and text within the interval is
// dropped; the clock is the test's.

#include <cstdint>

#include <QCoreApplication>
#include <QList>

#include <gtest/gtest.h>

#include "dialogs/Notification.h"

using tessal::qt::Notification;

namespace {

struct Shown {
    QString title;
    QString message;
    QSystemTrayIcon::MessageIcon icon;
    int msecs;
};

class RecordingNotification final : public Notification
{
public:
    explicit RecordingNotification(std::int64_t* now) : Notification(5, nullptr, [now] { return *now; }) {}
    QList<Shown> shown;

protected:
    bool canShowMessages() const override { return true; }
    void showBalloon(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon,
                     int msecs) override
    {
        shown.append({title, message, icon, msecs});
    }
};

} // namespace

TEST(TrayBalloon, SameTitleAndTextAreNotRepeatedWithinFiveSeconds)
{
    std::int64_t now = 1000;
    RecordingNotification tray(&now);
    tray.showMessage("T", "Text", QSystemTrayIcon::Information, 15000);
    now = 1005; // exactly the interval: still a repeat
    tray.showMessage("T", "Text", QSystemTrayIcon::Information, 15000);
    ASSERT_EQ(tray.shown.size(), 1);
    // The suppressed repeat did not move the window: 6 s after the first it shows.
    now = 1006;
    tray.showMessage("T", "Text", QSystemTrayIcon::Information, 15000);
    ASSERT_EQ(tray.shown.size(), 2);
    EXPECT_EQ(tray.shown[1].msecs, 15000);
}

TEST(TrayBalloon, AnotherTitleOrTextShowsAtOnce)
{
    std::int64_t now = 50;
    RecordingNotification tray(&now);
    tray.showMessage("A", "Text", QSystemTrayIcon::Warning, 100);
    tray.showMessage("B", "Text", QSystemTrayIcon::Warning, 100);
    tray.showMessage("B", "Other", QSystemTrayIcon::Warning, 100);
    EXPECT_EQ(tray.shown.size(), 3);
}

TEST(TrayBalloon, EmptyTextShowsNothingAndKeepsTheLastBalloon)
{
    std::int64_t now = 10;
    RecordingNotification tray(&now);
    tray.showMessage("T", "Text", QSystemTrayIcon::Information, 100);
    tray.showMessage("T", "", QSystemTrayIcon::Information, 100);
    now = 12;
    tray.showMessage("T", "Text", QSystemTrayIcon::Information, 100);
    EXPECT_EQ(tray.shown.size(), 1);
}

TEST(TrayBalloon, SeverityFunctionsFillTitleAndIcon)
{
    QCoreApplication::setApplicationName("Tessal VPN");
    std::int64_t now = 0;
    RecordingNotification tray(&now);
    tray.showError("e", QString(), 1);
    tray.showWarning("w", QString(), 2);
    tray.showInformation("i", QString(), 3);
    tray.showInformation("j", "Own title", 4);
    ASSERT_EQ(tray.shown.size(), 4);
    EXPECT_EQ(tray.shown[0].title, "Tessal VPN - Error");
    EXPECT_EQ(tray.shown[0].icon, QSystemTrayIcon::Critical);
    EXPECT_EQ(tray.shown[1].title, "Tessal VPN - Warning");
    EXPECT_EQ(tray.shown[1].icon, QSystemTrayIcon::Warning);
    EXPECT_EQ(tray.shown[2].title, "Tessal VPN - Information");
    EXPECT_EQ(tray.shown[2].icon, QSystemTrayIcon::Information);
    EXPECT_EQ(tray.shown[3].title, "Own title");
}
