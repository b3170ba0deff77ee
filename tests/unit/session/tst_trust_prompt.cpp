// The trust question: the gate's answers through the test answerer, what the
// dialog says in each mode, and what ends up in the store.

#include <QApplication>
#include <QCommandLinkButton>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "ModalDialogAnswerer.h"
#include "dialogs/AddTrustedSiteDialog.h"
#include "session/TrustedSiteList.h"
#include "session/TrustedSitePrompt.h"

using tessal::qt::AddTrustedSiteDialog;
using tessal::qt::CheckOrAskTrustedSite;
using tessal::qt::IsSitePermanentlyTrusted;
using tessal::qt::IsSiteTrusted;
using tessal::sl::TrustedSiteList;
using tessal::test::ModalDialogAnswerer;

class TrustPromptTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void alwaysAllowRecordsAPermanentGrant();
    void allowForSessionRecordsOnlyThatSession();
    void doNotAllowAndEscapeRecordNothing();
    void escapeKeyRefuses();
    void trustedSitePassesWithoutDialog();
    void inspectionModeKeepsTheInspectionWording();
    void vpnModeReplacesAllThreeButtons();
    void siteIsShownAsPlainText();
    void lookAlikeHostsAreAskedInAsciiForm_data();
    void lookAlikeHostsAreAskedInAsciiForm();
    void keysAloneRefuse_data();
    void keysAloneRefuse();
    void focusStartsVisiblyOnTheRefusal();

private:
    QString fileText() const;

    QTemporaryDir m_home;
};

void TrustPromptTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
    TrustedSiteList::Instance(m_home.path().toUtf8().constData(), "trusted_sites.xml");
}

QString TrustPromptTest::fileText() const
{
    QFile file(m_home.filePath(QStringLiteral("trusted_sites.xml")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void TrustPromptTest::alwaysAllowRecordsAPermanentGrant()
{
    const QString site = QStringLiteral("https://always.example.com");
    ModalDialogAnswerer answerer(QStringLiteral("btnAlwaysAllow"));
    QVERIFY(CheckOrAskTrustedSite(site, true, "AAAA1111"));
    QCOMPARE(answerer.count(), 1);
    QCOMPARE(answerer.last().title, QStringLiteral("Tessal VPN - Security Warning"));
    QCOMPARE(answerer.last().className, QStringLiteral("tessal::qt::AddTrustedSiteDialog"));

    QVERIFY(IsSitePermanentlyTrusted(QStringLiteral("HTTPS://ALWAYS.EXAMPLE.COM")));
    QVERIFY(IsSiteTrusted(site, true, "ZZZZ9999"));
    QVERIFY(fileText().contains(QStringLiteral("<sites><site>https://always.example.com</site>")));
    QVERIFY(!fileText().contains(QStringLiteral("<session>")));
}

void TrustPromptTest::allowForSessionRecordsOnlyThatSession()
{
    const QString site = QStringLiteral("https://session.example.com");
    ModalDialogAnswerer answerer(QStringList{QStringLiteral("btnAllowForSession"), QStringLiteral("btnDoNotAllow")});
    QVERIFY(CheckOrAskTrustedSite(site, true, "SESS0001"));
    QVERIFY(IsSiteTrusted(site, true, "sess0001"));
    QVERIFY(!IsSitePermanentlyTrusted(site));
    QVERIFY(
        fileText().contains(QStringLiteral("<site>https://session.example.com</site><sessionid>SESS0001</sessionid>")));

    // The same key passes without a question; another key is asked again.
    QVERIFY(CheckOrAskTrustedSite(site, true, "SESS0001"));
    QCOMPARE(answerer.count(), 1);
    QVERIFY(!CheckOrAskTrustedSite(site, true, "SESS0002"));
    QCOMPARE(answerer.count(), 2);
}

void TrustPromptTest::doNotAllowAndEscapeRecordNothing()
{
    const QString site = QStringLiteral("https://refused.example.com");
    const QString before = fileText();
    ModalDialogAnswerer answerer(QStringList{QStringLiteral("btnDoNotAllow"), QStringLiteral("reject")});
    QVERIFY(!CheckOrAskTrustedSite(site, true, "REFU0001"));
    QCOMPARE(answerer.last().pressed, QStringLiteral("Do not allow VPN connection"));
    QVERIFY(!CheckOrAskTrustedSite(site, false, "REFU0001"));
    QCOMPARE(answerer.count(), 2);
    QVERIFY(!IsSiteTrusted(site, true, "REFU0001"));
    QCOMPARE(fileText(), before);
}

void TrustPromptTest::escapeKeyRefuses()
{
    AddTrustedSiteDialog dialog(nullptr, false, QStringLiteral("https://escape.example.com"));
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTRY_VERIFY(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), int(AddTrustedSiteDialog::DoNotAllow));
}

void TrustPromptTest::trustedSitePassesWithoutDialog()
{
    const QString site = QStringLiteral("https://known.example.com");
    TrustedSiteList::Instance(nullptr, "trusted_sites.xml")->AddForSession(site.toStdString(), "KNOWN001");
    TrustedSiteList::Instance(nullptr, "trusted_sites.xml")->AddPermanent("https://perm.example.com");
    ModalDialogAnswerer answerer(QStringLiteral("btnDoNotAllow"));
    QVERIFY(CheckOrAskTrustedSite(site, false, "known001"));
    QVERIFY(CheckOrAskTrustedSite(QStringLiteral("https://PERM.example.com"), true, "ANYKEY01"));
    QCOMPARE(answerer.count(), 0);
}

void TrustPromptTest::inspectionModeKeepsTheInspectionWording()
{
    ModalDialogAnswerer answerer(QStringLiteral("reject"));
    QVERIFY(!CheckOrAskTrustedSite(QStringLiteral("https://epi.example.com"), false, "EPI00001"));
    const auto seen = answerer.last();
    QCOMPARE(seen.text,
             QStringLiteral("The site https://epi.example.com is attempting to inspect your system's configuration.\n"
                            "This site is not on your trusted site list."));
    QCOMPARE(seen.buttons, (QStringList{QStringLiteral("Always allow inspection from this site"),
                                        QStringLiteral("Allow inspection only for this session"),
                                        QStringLiteral("Do not allow inspection")}));
    QCOMPARE(seen.title, QStringLiteral("Tessal VPN - Security Warning"));
}

void TrustPromptTest::vpnModeReplacesAllThreeButtons()
{
    AddTrustedSiteDialog dialog(nullptr, true, QStringLiteral("https://vpn.example.com:8443"));
    QCOMPARE(
        dialog.findChild<QLabel*>(QStringLiteral("labelUrl"))->text(),
        QStringLiteral("The site https://vpn.example.com:8443 is attempting to start a Virtual Private Network (VPN) "
                       "connection from your system."));
    QCOMPARE(dialog.findChild<QCommandLinkButton*>(QStringLiteral("btnAlwaysAllow"))->text(),
             QStringLiteral("Always allow VPN connection from this site"));
    QCOMPARE(dialog.findChild<QCommandLinkButton*>(QStringLiteral("btnAllowForSession"))->text(),
             QStringLiteral("Allow VPN connection only for this session"));
    QCOMPARE(dialog.findChild<QCommandLinkButton*>(QStringLiteral("btnDoNotAllow"))->text(),
             QStringLiteral("Do not allow VPN connection"));
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.objectName(), QStringLiteral("AddTrustedSiteDialog"));
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
}

void TrustPromptTest::siteIsShownAsPlainText()
{
    const QString site = QStringLiteral("<b>evil</b><img src=\"x\">");
    AddTrustedSiteDialog dialog(nullptr, true, site);
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("labelUrl"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QVERIFY(label->text().contains(site));
}

// The site arrives as the session's URL text, in Unicode; the question shows
// the ASCII form, while the store keeps matching the text it recorded before.
void TrustPromptTest::lookAlikeHostsAreAskedInAsciiForm_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("trustedBefore");
    QTest::newRow("cyrillic a") << QString::fromUtf8("vpn.ex\xd0\xb0mple.com") << "https://vpn.xn--exmple-4nf.com"
                                << false;
    QTest::newRow("encoded look-alike") << "vpn.xn--80ak6aa92e.com:8443"
                                        << "https://vpn.xn--80ak6aa92e.com:8443" << false;
    QTest::newRow("recorded in unicode") << "old.xn--80ak6aa92e.com" << QString() << true;
}

void TrustPromptTest::lookAlikeHostsAreAskedInAsciiForm()
{
    QFETCH(QString, host);
    QFETCH(QString, shown);
    QFETCH(bool, trustedBefore);
    TrustedSiteList* list = TrustedSiteList::Instance(nullptr, "trusted_sites.xml");
    list->AddPermanent("https://vpn.example.com");
    const QString site = QUrl(QStringLiteral("https://") + host).toString();
    // The toolkit writes these hosts in Unicode: that is what the question must not show.
    if (host.contains(QLatin1String("xn--")))
        QVERIFY(site.contains(QChar(0x0430)));
    if (trustedBefore)
        list->AddPermanent(site.toStdString());

    ModalDialogAnswerer answerer(QStringLiteral("btnAllowForSession"));
    QVERIFY(CheckOrAskTrustedSite(site, true, "LOOK0001"));
    QVERIFY(IsSiteTrusted(site, true, "LOOK0001"));
    if (trustedBefore) {
        QCOMPARE(answerer.count(), 0);
        return;
    }
    QCOMPARE(answerer.count(), 1);
    QVERIFY2(answerer.last().text.startsWith(QStringLiteral("The site ") + shown + QStringLiteral(" is attempting")),
             qPrintable(answerer.last().text));
}

// Keyboard focus starts on "Do not allow": a key pressed without looking
// refuses, and nothing trusts a server by a key the screen did not show.
void TrustPromptTest::keysAloneRefuse_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TrustPromptTest::keysAloneRefuse()
{
    QFETCH(int, key);
    AddTrustedSiteDialog dialog(nullptr, true, QStringLiteral("https://keys.example.com"));
    QTimer::singleShot(0, &dialog, [&dialog, key] {
        QTRY_VERIFY(dialog.isVisible());
        QWidget* target = dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog;
        QTest::keyClick(target, Qt::Key(key));
        // A key that does nothing would leave the dialog open for ever.
        QTimer::singleShot(500, &dialog, [&dialog] { dialog.done(-1); });
    });
    QCOMPARE(dialog.exec(), int(AddTrustedSiteDialog::DoNotAllow));
}

void TrustPromptTest::focusStartsVisiblyOnTheRefusal()
{
    AddTrustedSiteDialog dialog(nullptr, true, QStringLiteral("https://focus.example.com"));
    auto* refuse = dialog.findChild<QCommandLinkButton*>(QStringLiteral("btnDoNotAllow"));
    auto* picture = dialog.findChild<QPushButton*>(QStringLiteral("pushButton"));
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTRY_VERIFY(refuse->hasFocus());
    QCOMPARE(picture->focusPolicy(), Qt::NoFocus);

    // The focus shows on screen: the button looks different with and without it.
    const QImage focused = refuse->grab().toImage();
    dialog.findChild<QCommandLinkButton*>(QStringLiteral("btnAllowForSession"))->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!refuse->hasFocus());
    QVERIFY(refuse->grab().toImage() != focused);
}

QTEST_MAIN(TrustPromptTest)
#include "tst_trust_prompt.moc"
