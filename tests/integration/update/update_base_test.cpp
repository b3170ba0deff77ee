// The updater base: progress dialog, hashing and signature checks of files.
#include "UpdateTestBed.h"

#include <QEvent>
#include <QProgressBar>
#include <QProgressDialog>

using namespace tessal::test;

namespace {

class UpdateBaseTest : public UpdateTestBed
{};

struct ShowRecorder : QObject {
    explicit ShowRecorder(QStringList& steps) : steps(steps) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            steps << QStringLiteral("show");
        return false;
    }
    QStringList& steps;
};

TEST_F(UpdateBaseTest, ProgressDialogFollowsEachDownloadAndSilentHidesIt)
{
    Updater loud(2, QUrl("http://127.0.0.1:1/"), 0);
    EXPECT_EQ(loud.progressDialog(), nullptr);
    loud.FileDownloadProgress(100, 10);
    ASSERT_NE(loud.progressDialog(), nullptr);
    EXPECT_TRUE(loud.progressDialog()->isVisible());
    EXPECT_EQ(loud.progressDialog()->maximum(), 100);
    EXPECT_EQ(loud.progressDialog()->value(), 10);
    loud.FileDownloadSuccess("/nowhere");
    EXPECT_FALSE(loud.progressDialog()->isVisible());
    // Shown first, then given its value.
    QStringList steps;
    ShowRecorder shows(steps);
    loud.progressDialog()->installEventFilter(&shows);
    auto* bar = loud.progressDialog()->findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) { steps << QString::number(value); });
    loud.FileDownloadProgress(5000, 4000);
    EXPECT_EQ(steps, (QStringList{"show", "4000"}));
    EXPECT_EQ(loud.progressDialog()->maximum(), 5000);
    EXPECT_EQ(loud.progressDialog()->value(), 4000);

    Updater silent(2, QUrl("http://127.0.0.1:1/"), 1);
    silent.FileDownloadProgress(100, 50);
    ASSERT_NE(silent.progressDialog(), nullptr);
    EXPECT_FALSE(silent.progressDialog()->isVisible());
}

TEST_F(UpdateBaseTest, RefusedConnectionFailsWithoutADialog)
{
    Updater updater(2, QUrl("http://127.0.0.1:1/"), 0);
    QList<QPair<QString, bool>> fails;
    QObject::connect(&updater, &tessal::qt::AutoUpdater::UpdateFail, [&](const QString& m, bool ignore) {
        fails.append({m, ignore});
    });
    QEventLoop loop;
    QObject::connect(&updater, &tessal::qt::AutoUpdater::UpdateFail, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    updater.DownloadPackage(QUrl("http://127.0.0.1:1/public/download/x"), std::string());
    loop.exec();
    ASSERT_EQ(fails.size(), 1);
    EXPECT_FALSE(fails.first().second);
    EXPECT_EQ(updater.progressDialog(), nullptr);
}

TEST_F(UpdateBaseTest, SignatureOfUnreadableAndEmptyFiles)
{
    Updater updater(2, QUrl("http://127.0.0.1:1/"), 0);
    const QString empty = serverFile(QStringLiteral("empty"), QByteArray());
    const QString signature = sign(empty);
    EXPECT_TRUE(updater.VerifySignature(empty, signature));
    EXPECT_FALSE(updater.VerifySignature(home() + QStringLiteral("/missing"), signature));
    EXPECT_FALSE(updater.VerifySignature(home(), signature)); // a folder reads nothing
    // Line breaks inside the Base64 text are skipped.
    QString wrapped = signature;
    for (int i = 64; i < wrapped.size(); i += 65)
        wrapped.insert(i, QLatin1Char('\n'));
    EXPECT_TRUE(updater.VerifySignature(empty, wrapped + QStringLiteral("\n")));
}

} // namespace
