// The application object itself: file-open events, the CreateSession slot
// and the no-session check. This program builds its own CustomQApplication.

#include <QApplication>
#include <QFileOpenEvent>
#include <QIcon>
#include <QTimer>
#include <QtTest>

#include "dialogs/AddTrustedSiteDialog.h"
#include "dialogs/MessageBox.h"
#include "shell/CustomQApplication.h"

using tessal::qt::CustomQApplication;

class ApplicationTest : public QObject
{
    Q_OBJECT
public:
    explicit ApplicationTest(CustomQApplication& app) : app(app) {}

private slots:
    void emptyFileOpenIsConsumedWithoutEffect()
    {
        QFileOpenEvent event{QUrl()};
        QVERIFY(QCoreApplication::sendEvent(&app, &event));
        QVERIFY(app.quitWhenNoSession);
    }

    void quitsWhenNothingAskedForASession()
    {
        QTimer::singleShot(0, &app, SLOT(quitIfNoSession()));
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(42); });
        guard.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void fileOpenHandsTheUrlToTheSessionManager()
    {
        QFileOpenEvent event{QUrl("foo://opened")};
        QVERIFY(QCoreApplication::sendEvent(&app, &event));
        QVERIFY(!app.quitWhenNoSession);
        // The refusal posted the session manager's quit; let it run.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(42); });
        guard.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // The program's icon on every window: one image, the desktop entry's.
    void everyWindowCarriesTheProgramIcon()
    {
        const QIcon icon = QApplication::windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
        tessal::qt::AddTrustedSiteDialog question(nullptr, true, QStringLiteral("https://icon.example.com"));
        tessal::qt::MessageBox box;
        for (QWidget* window : {static_cast<QWidget*>(&question), static_cast<QWidget*>(&box)})
            QCOMPARE(window->windowIcon().cacheKey(), icon.cacheKey());
    }

    void noSessionCheckDoesNothingOnceALaunchWasAsked()
    {
        QVERIFY(!app.CreateSession("foo://refused"));
        QVERIFY(!app.quitWhenNoSession);
        QTimer::singleShot(0, &app, SLOT(quitIfNoSession()));
        // Only the session manager's posted quit ends this loop (with 0); the
        // check itself must not call exit a second time with anything else.
        QCOMPARE(QCoreApplication::exec(), 0);
        QTimer::singleShot(0, &app, SLOT(quitIfNoSession()));
        QTimer::singleShot(50, [] { QCoreApplication::exit(7); });
        QCOMPARE(QCoreApplication::exec(), 7);
    }

private:
    CustomQApplication& app;
};

int main(int argc, char** argv)
{
    CustomQApplication app(argc, argv);
    ApplicationTest test(app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
