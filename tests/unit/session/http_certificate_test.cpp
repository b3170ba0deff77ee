// Consent for server certificates that fail verification: asked once per
// server and certificate, remembered for the process, refusals forgotten.
#include "http_test_support.h"

#include "ModalDialogAnswerer.h"

#include <optional>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

using namespace tessal::test;
using tessal::qt::HttpNetworkManager;

namespace {

class HttpCertificateTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shared().ok);
        QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
        shared().server.setRoutes(QJsonArray{jsonRoute({{"path", "/x"}, {"headers", textHeaders()}, {"body", "ok"}})});
    }
    static SharedServer& shared() { return SharedServer::instance(); }
    static QUrl url(const QString& listener, const QString& path = QStringLiteral("/x"))
    {
        return shared().server.url(path, listener);
    }
    // A fresh client, so every request makes its own handshake.
    static Outcome fetch(const QUrl& u, uint32_t timeoutMs = 15000)
    {
        HttpNetworkManager m("");
        return get(m, u, timeoutMs);
    }
};

TEST_F(HttpCertificateTest, TrustedServerAsksNothing)
{
    ModalDialogAnswerer answerer(QStringLiteral("No"));
    const Outcome r = fetch(url("tls"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(answerer.count(), 0);
}

TEST_F(HttpCertificateTest, AcceptedCertificateIsNotAskedAgain)
{
    ModalDialogAnswerer answerer(QStringLiteral("Yes"));
    const Outcome first = fetch(url("selfA"));
    EXPECT_EQ(first.code, 0);
    ASSERT_EQ(answerer.count(), 1);
    const AnsweredDialog d = answerer.last();
    EXPECT_EQ(d.title, "Tessal VPN - Certificate Warning");
    EXPECT_TRUE(d.text.contains("Identity of site 127.0.0.1 cannot be verified due to following reason(s):"));
    EXPECT_TRUE(d.text.contains("- Subject certificate is self signed\n"));
    EXPECT_TRUE(d.text.contains("Do you want to continue?"));
    EXPECT_TRUE(d.buttons.contains("View Certificate..."));

    // Same server, another path: no question.
    const Outcome second = fetch(url("selfA", "/x?again=1"));
    EXPECT_EQ(second.code, 0);
    EXPECT_EQ(answerer.count(), 1);
    // The same certificate on another port is another server.
    EXPECT_EQ(fetch(url("selfC")).code, 0);
    EXPECT_EQ(answerer.count(), 2);
}

TEST_F(HttpCertificateTest, RefusedCertificateIsAskedAgain)
{
    ModalDialogAnswerer answerer(QStringList{"No", "No"});
    const Outcome first = fetch(url("selfB"));
    EXPECT_EQ(first.code, 2);
    EXPECT_EQ(first.message, "Network error");
    EXPECT_EQ(first.denied, 1);
    const Outcome second = fetch(url("selfB"));
    EXPECT_EQ(second.code, 2);
    EXPECT_EQ(answerer.count(), 2);
}

TEST_F(HttpCertificateTest, ChangedCertificateIsAskedAgain)
{
    ModalDialogAnswerer answerer(QStringLiteral("Yes"));
    EXPECT_EQ(fetch(url("switch")).code, 0);
    EXPECT_EQ(fetch(url("switch")).code, 0);
    EXPECT_EQ(answerer.count(), 1);
    // The server now presents another certificate on the same port.
    ASSERT_TRUE(QFile::remove(shared().switchCert) && QFile::remove(shared().switchKey));
    ASSERT_TRUE(QFile::copy(shared().certs.otherSelfCert, shared().switchCert));
    ASSERT_TRUE(QFile::copy(shared().certs.otherSelfKey, shared().switchKey));
    EXPECT_EQ(fetch(url("switch")).code, 0);
    EXPECT_EQ(answerer.count(), 2);
    EXPECT_EQ(fetch(url("switch")).code, 0);
    EXPECT_EQ(answerer.count(), 2);
}

TEST_F(HttpCertificateTest, InactivityTimerPausesWhileTheDialogIsOpen)
{
    // Answer Yes only after three times the inactivity limit (1 s, so a slow
    // handshake under load does not use it up before the question).
    QElapsedTimer shown;
    QTimer poll;
    bool answered = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || answered)
            return;
        if (!shown.isValid())
            shown.start();
        if (shown.elapsed() < 3000)
            return;
        answered = true;
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Yes)->click();
    });
    poll.start(10);
    shared().server.setRoutes(QJsonArray{jsonRoute({{"path", "/x"}, {"headers", textHeaders()}, {"body", "late"}})});
    // "localhost" on this port is a key no other test accepts.
    HttpNetworkManager m("");
    const Outcome r = get(m, QUrl(url("switch").toString().replace("127.0.0.1", "localhost")), 1000);
    EXPECT_TRUE(answered);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(QString::fromUtf8(m.body().data(), int(m.body().size())), "late");
}

TEST_F(HttpCertificateTest, OneCertificateQuestionAtATime)
{
    // A burst of launches must not stack questions: while one is open,
    // another server's failing certificate is refused unasked.
    ModalDialogAnswerer answerer(QStringList{"leave", "No"});
    std::optional<Outcome> second;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (answerer.count() != 1 || second)
            return;
        poll.stop();
        // "localhost" on this port is a key no other test decides.
        second = fetch(QUrl(url("selfB").toString().replace("127.0.0.1", "localhost")));
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            open->reject();
    });
    poll.start(10);
    const Outcome first = fetch(url("selfB"));
    EXPECT_EQ(first.denied, 1);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->code, 2);
    EXPECT_EQ(second->denied, 1);
    EXPECT_EQ(answerer.count(), 1);
}

} // namespace
