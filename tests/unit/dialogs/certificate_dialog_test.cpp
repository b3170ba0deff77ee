// The certificate warning and the viewer: forms, object names, texts.
#include "AccessServer.h"
#include "ModalDialogAnswerer.h"
#include "dialogs/AddTrustedSiteDialog.h"
#include "dialogs/CertificateErrorDialog.h"
#include "dialogs/CertificateViewer.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tessal::qt;
using namespace tessal::test;

namespace {

class CertificateDialogTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        certs = new TestCertificates;
        TestCertificates::Blueprint blueprint;
        blueprint.name = "dlg";
        blueprint.subject = "/CN=<b>vpn.example<i>/O=Tests";
        blueprint.extensions = {"extendedKeyUsage = serverAuth", "keyUsage = digitalSignature"};
        QString key;
        if (certs->makeCertificate(blueprint, &certPath, &key))
            certificate = QSslCertificate::fromPath(certPath).value(0);
        else
            ADD_FAILURE() << certs->error().toStdString();
    }
    static void TearDownTestSuite() { delete certs; }
    void SetUp() override
    {
        ASSERT_FALSE(certificate.isNull());
        QCoreApplication::setApplicationName("Tessal VPN");
    }

    static inline TestCertificates* certs = nullptr;
    static inline QString certPath;
    static inline QSslCertificate certificate{QByteArray()};
};

// Names read as they are, in the warning and in the viewer, the subject's
// and the issuer's alike: a host name that is not plain ASCII in its ASCII
// form, invisible and direction-changing characters escaped; other names
// stay as they are.
TEST_F(CertificateDialogTest, NamesShowAsTheyAre)
{
    const struct {
        const char* name;
        const char* shown;
        bool inUrl; // also a URL's host in the warning
    } rows[] = {{"xn--pple-43d.com", "xn--pple-43d.com", true},
                {"vpn.ex\xd0\xb0mple.com", "vpn.xn--exmple-4nf.com", true},
                {"*.ex\xd0\xb0mple.com", "*.xn--exmple-4nf.com", false},
                {"vpn.example.com", "vpn.example.com", true},
                {"\xe2\x80\xaemoc.proc.npv", "\\u202Emoc.proc.npv", false},
                {"vpn\xe2\x80\x8b.corp.com", "vpn\\u200B.corp.com", false},
                {"vpn.corp.com\xe2\x81\xa6", "vpn.corp.com\\u2066", false},
                {"Test CA", "Test CA", false},
                {"Soci\xc3\xa9t\xc3\xa9 CA", "Soci\xc3\xa9t\xc3\xa9 CA", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        const QString name = QString::fromUtf8(row.name);
        const QString shown = QString::fromUtf8(row.shown);
        if (row.inUrl) {
            CertificateErrorDialog d("- reason\n", certificate, QUrl("https://" + name + ":8443/"));
            EXPECT_TRUE(d.findChild<QLabel*>("labelHdr")->text().startsWith("Identity of site " + shown + " cannot"))
                << d.findChild<QLabel*>("labelHdr")->text().toStdString();
        }
        TestCertificates::Blueprint blueprint;
        blueprint.name = "idn";
        blueprint.subject = "/CN=" + name; // self-signed: the issuer has the same name
        QString path, key;
        ASSERT_TRUE(certs->makeCertificate(blueprint, &path, &key)) << certs->error().toStdString();
        const QSslCertificate issued = QSslCertificate::fromPath(path).value(0);
        ASSERT_EQ(issued.subjectInfo(QSslCertificate::CommonName).value(0), name);
        CertificateViewer v(issued);
        EXPECT_EQ(v.findChild<QLabel*>("subjectName")->text().toStdString(), row.shown);
        EXPECT_EQ(v.findChild<QTableWidget*>("certFields")->item(4, 2)->text().toStdString(), row.shown);
        EXPECT_EQ(v.findChild<QLabel*>("issuerName")->text().toStdString(), row.shown);
        EXPECT_EQ(v.findChild<QTableWidget*>("certFields")->item(3, 2)->text().toStdString(), row.shown);
        for (const char32_t hidden : {U'\u202e', U'\u200b', U'\u2066'})
            EXPECT_FALSE(v.findChild<QTextEdit*>("editBase64")->toPlainText().contains(QString::fromUcs4(&hidden, 1)));
    }
}

TEST_F(CertificateDialogTest, WarningFormAndTexts)
{
    CertificateErrorDialog d("- Host name mismatch\n- <i>Certificate is untrusted</i>\n", certificate,
                             QUrl("https://xn--bcher-kva.example:8443/a%20b"));
    EXPECT_EQ(d.objectName(), "CertificateErrorDialog");
    EXPECT_EQ(d.windowTitle(), "Tessal VPN - Certificate Warning");
    EXPECT_EQ(d.size(), QSize(506, 187));
    EXPECT_EQ(d.maximumSize(), QSize(960, 640));
    EXPECT_FALSE(d.isSizeGripEnabled());
    EXPECT_FALSE(d.isModal());
    EXPECT_TRUE(d.windowFlags() & Qt::CustomizeWindowHint);
    EXPECT_TRUE(d.windowFlags() & Qt::WindowTitleHint);
    EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);

    auto* header = d.findChild<QLabel*>("labelHdr");
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->text(), QString::fromUtf8("Identity of site xn--bcher-kva.example cannot be "
                                                "verified due to following reason(s):"));
    EXPECT_TRUE(header->wordWrap());
    auto* reasons = d.findChild<QLabel*>("labelReasons");
    ASSERT_NE(reasons, nullptr);
    EXPECT_EQ(reasons->text(), "- Host name mismatch\n- <i>Certificate is untrusted</i>\n");
    EXPECT_EQ(reasons->textFormat(), Qt::PlainText);
    EXPECT_EQ(header->textFormat(), Qt::PlainText);
    EXPECT_TRUE(reasons->alignment() & Qt::AlignTop);
    EXPECT_EQ(d.findChild<QLabel*>("labelQuestion")->text(), "Do you want to continue?");
    EXPECT_EQ(d.findChild<QPushButton*>("pushButton")->text(), "View Certificate...");
    auto* icon = d.findChild<QPushButton*>("pushButton_2");
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->isFlat());
    EXPECT_EQ(icon->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(icon->styleSheet(), ":active {background-color: rgba(0,0,0,0);}");
    EXPECT_FALSE(icon->icon().isNull());
    auto* box = d.findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->standardButtons(), QDialogButtonBox::Yes | QDialogButtonBox::No);
}

TEST_F(CertificateDialogTest, YesAcceptsNoAndEscapeRefuse)
{
    {
        CertificateErrorDialog d("- Host name mismatch\n", certificate, QUrl("https://vpn.example/"));
        ModalDialogAnswerer answerer("Yes");
        EXPECT_EQ(d.exec(), QDialog::Accepted);
        EXPECT_EQ(d.result(), 1);
    }
    {
        CertificateErrorDialog d("- Host name mismatch\n", certificate, QUrl("https://vpn.example/"));
        ModalDialogAnswerer answerer("No");
        EXPECT_EQ(d.exec(), QDialog::Rejected);
        EXPECT_EQ(d.result(), 0);
    }
    {
        CertificateErrorDialog d("- Host name mismatch\n", certificate, QUrl("https://vpn.example/"));
        QTimer::singleShot(50, &d, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
        EXPECT_EQ(d.exec(), QDialog::Rejected);
    }
}

TEST_F(CertificateDialogTest, ViewerOpensBesideTheWarning)
{
    CertificateErrorDialog d("- Host name mismatch\n", certificate, QUrl("https://vpn.example/"));
    d.show();
    d.findChild<QPushButton*>("pushButton")->click();
    d.findChild<QPushButton*>("pushButton")->click();
    const QList<CertificateViewer*> viewers = d.findChildren<CertificateViewer*>();
    ASSERT_EQ(viewers.size(), 2);
    EXPECT_TRUE(viewers.first()->isVisible());
    EXPECT_FALSE(viewers.first()->isModal());
    viewers.first()->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(d.findChildren<CertificateViewer*>().size(), 1);
}

TEST_F(CertificateDialogTest, ViewerShowsTheCertificate)
{
    CertificateViewer v(certificate);
    EXPECT_EQ(v.objectName(), "CertificateViewer");
    EXPECT_EQ(v.windowTitle(), "Certificate");
    EXPECT_EQ(v.size(), QSize(446, 458));
    auto* tabs = v.findChild<QTabWidget*>("tabWidget");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentWidget()->objectName(), "extensions");
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Details");
    EXPECT_EQ(tabs->tabText(2), "Base64");
    EXPECT_EQ(v.findChild<QLabel*>("lblCertInfo")->text(), "Certificate Information");
    EXPECT_EQ(v.findChild<QLabel*>("lblSubjectName")->text(), "Issued to:");
    EXPECT_EQ(v.findChild<QLabel*>("lblIssuerName")->text(), "Issued By:");
    EXPECT_EQ(v.findChild<QLabel*>("lblValidity")->text(), "Valid from:");
    EXPECT_EQ(v.findChild<QLabel*>("lblPurpose")->text(), "This certificate is intended for the following purpose(s):");
    EXPECT_EQ(v.findChild<QLabel*>("label_2")->text(), "Details:");

    auto* subject = v.findChild<QLabel*>("subjectName");
    EXPECT_EQ(subject->text(), "<b>vpn.example<i>");
    EXPECT_EQ(subject->textFormat(), Qt::PlainText);
    EXPECT_EQ(v.findChild<QLabel*>("issuerName")->text(), "<b>vpn.example<i>"); // self-signed
    const QString format = "MM/dd/yyyy";
    EXPECT_EQ(v.findChild<QLabel*>("validity")->text(),
              certificate.effectiveDate().toString(format) + "  to  " + certificate.expiryDate().toString(format));
    EXPECT_EQ(v.findChild<QTextEdit*>("certPurpose")->toPlainText(),
              "-Ensures the identity of a remote computer\n-Digital signature\n");
    EXPECT_TRUE(v.findChild<QTextEdit*>("certPurpose")->isReadOnly());

    auto* table = v.findChild<QTableWidget*>("certFields");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columnCount(), 3);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text(), "Id");
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "Field");
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(), "value");
    EXPECT_TRUE(table->isColumnHidden(0));
    EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(table->selectionMode(), QAbstractItemView::SingleSelection);
    const QStringList names = {"Version",    "Serial Number", "Signature Algorithm", "Issuer", "Subject",
                               "Valid From", "Valid To",      "Public Key"};
    ASSERT_EQ(table->rowCount(), names.size());
    for (int row = 0; row < table->rowCount(); ++row) {
        EXPECT_EQ(table->item(row, 1)->text(), names[row]);
        EXPECT_EQ(table->rowHeight(row), 18);
        EXPECT_EQ(table->item(row, 1)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }
    EXPECT_EQ(table->item(0, 2)->text(), "V3");
    EXPECT_EQ(table->item(5, 2)->text(), certificate.effectiveDate().toString());
    EXPECT_EQ(table->item(6, 2)->text(), certificate.expiryDate().toString());

    table->selectRow(7);
    const QString key = v.findChild<QTextEdit*>("fieldDetails")->toPlainText();
    EXPECT_TRUE(key.startsWith("30 59 30 13 "));
    table->selectRow(2);
    EXPECT_EQ(v.findChild<QTextEdit*>("fieldDetails")->toPlainText(), "ecdsa-with-SHA256");

    const QString base64 = v.findChild<QTextEdit*>("editBase64")->toPlainText();
    EXPECT_TRUE(base64.endsWith(QString::fromLatin1(certificate.toPem()).trimmed()) ||
                base64.endsWith(QString::fromLatin1(certificate.toPem())));
    EXPECT_TRUE(base64.startsWith(certificate.toText()));
}

TEST_F(CertificateDialogTest, CertificateWithoutCommonName)
{
    TestCertificates::Blueprint blueprint;
    blueprint.name = "nocn";
    blueprint.subject = "/O=Nobody";
    QString path, key;
    ASSERT_TRUE(certs->makeCertificate(blueprint, &path, &key)) << certs->error().toStdString();
    CertificateViewer v(QSslCertificate::fromPath(path).value(0));
    EXPECT_EQ(v.findChild<QLabel*>("subjectName")->text(), "");
    EXPECT_EQ(v.findChild<QTableWidget*>("certFields")->item(4, 2)->text(), "");
    EXPECT_EQ(v.findChild<QTextEdit*>("certPurpose")->toPlainText(), "-All application policies\n");
}

} // namespace

// The Details table takes the room its content needs, in any font: names and
// values whole (the public key's value aside: the box below shows it), no
// horizontal scroll bar, the last row in sight.
TEST_F(CertificateDialogTest, DetailsFitTheirContent)
{
    const struct {
        int pointSize;
        const char* subject;
    } rows[] = {{9, "/CN=vpn.example"},
                {11, "/CN=a-rather-long-access-server-name.remote-office.example.com"},
                {12, "/CN=vpn.example"}};
    const QFont before = QApplication::font();
    for (const auto& row : rows) {
        QFont font = before;
        font.setPointSize(row.pointSize);
        QApplication::setFont(font);
        TestCertificates::Blueprint blueprint;
        blueprint.name = "fit";
        blueprint.subject = row.subject;
        QString path, key;
        ASSERT_TRUE(certs->makeCertificate(blueprint, &path, &key)) << certs->error().toStdString();
        CertificateViewer v(QSslCertificate::fromPath(path).value(0));
        v.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
        auto* table = v.findChild<QTableWidget*>("certFields");
        const QFontMetrics metrics = table->fontMetrics();
        EXPECT_FALSE(table->horizontalScrollBar()->isVisible()) << row.subject;
        EXPECT_GE(table->columnWidth(1), static_cast<QAbstractItemView*>(table)->sizeHintForColumn(1)) << row.subject;
        for (int r = 0; r < table->rowCount(); ++r) {
            const QString name = table->item(r, 1)->text();
            EXPECT_GE(table->rowHeight(r), metrics.height()) << name.toStdString();
            if (name != "Public Key") {
                EXPECT_GE(table->columnWidth(2), metrics.horizontalAdvance(table->item(r, 2)->text()))
                    << row.pointSize << " " << name.toStdString();
            }
        }
        const QRect last = table->visualRect(table->model()->index(table->rowCount() - 1, 1));
        EXPECT_LE(last.bottom(), table->viewport()->height()) << row.pointSize;
    }
    QApplication::setFont(before);
}

// A host name of 239 characters, in each question that names a server:
// the question stays on the screen and shows the whole name, its end too.
TEST_F(CertificateDialogTest, LongHostsWrapWithinTheScreen)
{
    const QString host = QString(60, 'a') + "." + QString(60, 'b') + "." + QString(63, 'c') + ".impostor-" +
                         QString(32, 'd') + ".example.com";
    CertificateErrorDialog warning("- Host name mismatch\n", certificate, QUrl("https://" + host + "/"));
    AddTrustedSiteDialog question(nullptr, true, "https://" + host);
    for (const auto& [dialog, name] :
         {std::pair<QDialog*, const char*>{&warning, "labelHdr"}, {&question, "labelUrl"}}) {
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        EXPECT_LE(dialog->frameGeometry().width(), dialog->screen()->availableGeometry().width()) << name;
        auto* label = dialog->findChild<QLabel*>(name);
        EXPECT_TRUE(label->text().remove(QChar(0x200B)).contains(host)) << name;
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
    }
}

// Keyboard focus starts on the refusal: Return, Enter or Space pressed
// without looking never accepts a certificate that failed verification.
TEST_F(CertificateDialogTest, KeysAloneRefuse)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        CertificateErrorDialog d("- Host name mismatch\n", certificate, QUrl("https://vpn.example/"));
        QWidget* focused = nullptr;
        QTimer::singleShot(0, &d, [&d, &focused, key] {
            focused = d.focusWidget();
            QTest::keyClick(focused != nullptr ? focused : &d, key);
            QTimer::singleShot(500, &d, [&d] { d.done(-1); });
        });
        EXPECT_EQ(d.exec(), QDialog::Rejected) << key;
        EXPECT_EQ(focused, d.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::No)) << key;
    }
}
