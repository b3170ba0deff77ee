// The program's one message box: application name as title, rich text,
// Ok (and Cancel for a question), and the pressed button as the result; a
// question ended without a button is a refusal.

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPointer>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>

#include <string>

#include <gtest/gtest.h>

#include "ModalDialogAnswerer.h"
#include "dialogs/DialogsTestSeam.h"
#include "dialogs/MessageBox.h"
#include "dialogs/QuitRequest.h"
#include "session/TrustedSiteList.h"
#include "session/TrustedSitePrompt.h"
#include "shell/BrowserPreferencesCleanup.h"

using tessal::qt::QuitRequest;
using tessal::test::ModalDialogAnswerer;

TEST(MessageBox, QuestionReturnsOkOrCancel)
{
    QCoreApplication::setApplicationName("Tessal VPN");
    {
        ModalDialogAnswerer answerer("OK");
        EXPECT_EQ(tessal::qt::ShowQuestionBox("Go on?"), QMessageBox::Ok);
        EXPECT_EQ(answerer.last().title, "Tessal VPN");
        EXPECT_EQ(answerer.last().buttons, (QStringList{"OK", "Cancel"}));
    }
    {
        ModalDialogAnswerer answerer("Cancel");
        EXPECT_EQ(tessal::qt::ShowQuestionBox("Go on?"), QMessageBox::Cancel);
    }
    {
        // Closing the box's window is declining it.
        QTimer closer;
        closer.setInterval(10);
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
        closer.start();
        EXPECT_EQ(tessal::qt::ShowQuestionBox("Go on?"), QMessageBox::Cancel);
    }
}

TEST(MessageBox, SeverityBoxesHaveOkOnly)
{
    ModalDialogAnswerer answerer("OK");
    EXPECT_EQ(tessal::qt::ShowCriticalBox("<b>bold</b> text"), QMessageBox::Ok);
    EXPECT_EQ(answerer.last().className, "tessal::qt::MessageBox");
    EXPECT_EQ(answerer.last().buttons, QStringList{"OK"});
    EXPECT_EQ(tessal::qt::ShowWarningBox("w"), QMessageBox::Ok);
    EXPECT_EQ(tessal::qt::ShowInformationBox("i"), QMessageBox::Ok);
    EXPECT_EQ(answerer.count(), 3);
}

// Only a button the user pressed answers a question: one ended any other way
// is a refusal, whatever result the dialog was left with, and grants nothing.
namespace {

enum class Ending { Hidden, LoopExited, AskedAfterExit, QuitWhileOpen, QuitBefore };
const char* const kEndingNames[] = {"hidden from outside", "loop left by exit()", "asked after exit()",
                                    "quit while open", "quit before"};

// Ends every question the way the row says; after `limit` questions it
// presses "No" instead, so that a loop that keeps asking still ends.
class QuestionEnder
{
public:
    QuestionEnder(Ending ending, int limit) : m_ending(ending), m_limit(limit)
    {
        if (ending == Ending::AskedAfterExit)
            QCoreApplication::exit(0);
        if (ending == Ending::QuitBefore)
            QuitRequest::instance().request();
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    ~QuestionEnder()
    {
        // exit() is remembered until a main loop runs: run one, so that the
        // next row's questions wait again.
        if (m_ending == Ending::LoopExited || m_ending == Ending::AskedAfterExit) {
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
            QCoreApplication::exec();
        }
        tessal::qt::DialogsTestSeam::forgetQuitRequest();
    }
    int asked() const { return m_asked; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal == m_current)
            return;
        m_current = modal;
        if (++m_asked > m_limit) {
            for (QAbstractButton* button : modal->findChildren<QAbstractButton*>())
                if (button->text().remove('&') == QLatin1String("No"))
                    button->click();
            return;
        }
        if (m_ending == Ending::LoopExited)
            QCoreApplication::exit(0);
        else if (m_ending == Ending::QuitWhileOpen)
            QuitRequest::instance().request();
        else
            modal->hide();
    }

    Ending m_ending;
    int m_limit;
    int m_asked = 0;
    QPointer<QWidget> m_current;
    QTimer m_timer;
};

} // namespace

TEST(Questions, EndedWithoutAButtonRefuse)
{
    QCoreApplication::setApplicationName("Tessal VPN");
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    tessal::sl::TrustedSiteList* store =
        tessal::sl::TrustedSiteList::Instance(home.path().toUtf8().constData(), "trusted_sites.xml");
    const std::string proc = (home.path() + "/proc").toStdString();
    QDir().mkpath(QString::fromStdString(proc + "/17"));
    QFile chrome(QString::fromStdString(proc + "/17/cmdline"));
    ASSERT_TRUE(chrome.open(QIODevice::WriteOnly));
    chrome.write("/opt/google/chrome/chrome");
    chrome.close();

    // Every question with every ending, but the cleanup with the two exit() ones.
    enum class Question { Trust, OkCancel, Cleanup };
    int row = 0;
    for (int e = 0; e < 15; ++e) {
        const auto question = static_cast<Question>(e / 5);
        const auto ending = static_cast<Ending>(e % 5);
        if (question == Question::Cleanup && (ending == Ending::LoopExited || ending == Ending::AskedAfterExit))
            continue;
        SCOPED_TRACE(std::to_string(row++) + ": " + kEndingNames[e % 5]);
        QuestionEnder ender(ending, 3);
        switch (question) {
        case Question::Trust: {
            const QString site = QStringLiteral("https://hostile%1.example.com").arg(row);
            EXPECT_FALSE(tessal::qt::CheckOrAskTrustedSite(site, true, "SIGNAL01"));
            EXPECT_FALSE(store->IsTrusted(site.toStdString(), "SIGNAL01"));
            break;
        }
        case Question::OkCancel: EXPECT_EQ(tessal::qt::ShowQuestionBox("Go on?"), QMessageBox::Cancel); break;
        case Question::Cleanup:
            EXPECT_FALSE(tessal::qt::cleanupBrowserPreferences({"tessal-vpn"}, "", proc));
            EXPECT_EQ(ender.asked(), ending == Ending::QuitBefore ? 0 : 1);
            break;
        }
    }
    QFile file(home.path() + "/trusted_sites.xml");
    EXPECT_FALSE(file.open(QIODevice::ReadOnly) && file.readAll().contains("hostile"));
}

// A box is wide enough for its whole title as a window manager draws it:
// bold, centred between title-bar buttons (the About box of a short text
// was cut to "About T… al VPN").
TEST(MessageBox, WideEnoughForItsTitle)
{
    const char* const titles[] = {"About Tessal VPN", "Informationen über Tessal VPN", "Tessal VPN のバージョン情報",
                                  "Tessal VPN - Security Warning"};
    for (const char* title : titles) {
        tessal::qt::MessageBox box(QMessageBox::NoIcon, QString::fromUtf8(title), "<b>V</b><br>1", QMessageBox::Ok);
        box.show();
        QCoreApplication::processEvents();
        QFont bold = box.font();
        bold.setBold(true);
        const int buttons = 3 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
        EXPECT_GE(box.width(), QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + 2 * buttons) << title;
        box.close();
    }
}
