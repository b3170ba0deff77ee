// Which packages the updater takes and what it asks: the version decision.
#include "UpdateTestBed.h"

#include <QTranslator>

using namespace tessal::test;

namespace {

class UpdateDecisionTest : public UpdateTestBed
{
protected:
    QUrl server() const { return sharedServer().url(QStringLiteral("/")); }
};

TEST_F(UpdateDecisionTest, OursOrOlderIsUpToDateWithoutABox)
{
    for (const char* version : {"7270.0.0.1", "7270.0.0.0", "7269.9.9.9"}) {
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("Cancel"));
        const auto out = run(updater, profile({package(appId().toStdString(), version, "sig", "/p.deb")}));
        EXPECT_EQ(out.events, QStringList{"success"}) << version;
        EXPECT_EQ(answerer.count(), 0) << version;
    }
    EXPECT_TRUE(sharedServer().requests().isEmpty());
}

TEST_F(UpdateDecisionTest, NewerIsOfferedAndCancelIgnoresIt)
{
    // Parts compare as numbers, not as texts: 7270.0.0.10 is newer.
    for (const char* version : {"7270.0.0.2", "7270.0.1.0", "7270.0.0.10"}) {
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("Cancel"));
        const auto out = run(updater, profile({package(appId().toStdString(), version, "sig", "/p.deb")}));
        EXPECT_EQ(out.events, QStringList{"ignored"}) << version;
        ASSERT_EQ(answerer.count(), 1);
        EXPECT_EQ(answerer.last().text,
                  QStringLiteral("Software update %1 is available. Do you want to download this update?")
                      .arg(QLatin1String(version)));
        EXPECT_EQ(answerer.last().buttons.size(), 2);
        EXPECT_EQ(answerer.last().title, QCoreApplication::applicationName());
    }
    EXPECT_TRUE(sharedServer().requests().isEmpty());
}

TEST_F(UpdateDecisionTest, UnparsableServerVersionEndsWithAFailureTheSessionMayIgnore)
{
    for (const char* version : {"abc", "7270.0.1", "7270.0.0.1.5", "70000.0.0.1", ""}) {
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("OK"));
        const auto out = run(updater, profile({package(appId().toStdString(), version, "sig", "/p.deb")}));
        EXPECT_EQ(out.events, QStringList{"fail"}) << version;
        EXPECT_EQ(out.message, QStringLiteral("Failed to parse server version '%1'").arg(QLatin1String(version)));
        EXPECT_TRUE(out.ignore);
        EXPECT_EQ(answerer.count(), 0);
    }
}

TEST_F(UpdateDecisionTest, MissingPackageIdIsIgnorableAndIdsAreCaseSensitive)
{
    Updater updater(2, server(), 0);
    EXPECT_EQ(updater.packageId(), "NetworkAccessAppX64.deb");
    const auto out = run(updater, profile({package("NetworkAccessAppX64.rpm", "7300.0.0.0"),
                                           package("networkaccessappx64.deb", "7300.0.0.0")}));
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_EQ(out.message,
              QStringLiteral("Application pkg (NetworkAccessAppX64.deb) not found in server connectivity profile"));
    EXPECT_TRUE(out.ignore);
}

TEST_F(UpdateDecisionTest, RpmMarkerChoosesThePackageId)
{
    setRpmMarker(true);
    Updater vpn(2, server(), 0);
    Updater inspection(1, server(), 0);
    EXPECT_EQ(vpn.packageId(), "NetworkAccessAppX64.rpm");
    EXPECT_EQ(inspection.packageId(), "EndpointCheckAppX64.rpm");
    setRpmMarker(false);
    EXPECT_EQ(Updater(1, server(), 0).packageId(), "EndpointCheckAppX64.deb");
}

TEST_F(UpdateDecisionTest, MinimumAboveOursForcesTheUpdateWithAnInformationBox)
{
    sharedServer().setRoutes(QJsonArray{QJsonObject{{"path", "/public/download/app.deb"}, {"status", 404}}});
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringLiteral("OK"));
    const auto out =
        run(updater,
            profile({package(appId().toStdString(), "7300.0.0.0", "sig", "/public/download/app.deb", "7300.0.0.0")}));
    ASSERT_EQ(answerer.count(), 1);
    EXPECT_TRUE(answerer.last().text.startsWith(QStringLiteral("Applying software update version 7300.0.0.0<br><br>")));
    EXPECT_EQ(answerer.last().buttons, QStringList{"OK"});
    // The download was started at once and its failure ends the run.
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_FALSE(out.ignore);
    ASSERT_EQ(sharedServer().requests().size(), 1);
    EXPECT_EQ(sharedServer().requests().first()["path"].toString(), "/public/download/app.deb");
}

TEST_F(UpdateDecisionTest, MinimumAtOrBelowOursOnlyOffers)
{
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringLiteral("Cancel"));
    const auto out =
        run(updater, profile({package(appId().toStdString(), "7300.0.0.0", "sig", "/p.deb", "7270.0.0.1")}));
    EXPECT_EQ(out.events, QStringList{"ignored"});
    ASSERT_EQ(answerer.count(), 1);
    EXPECT_TRUE(answerer.last().text.startsWith(QStringLiteral("Software update 7300.0.0.0 is available")));
}

TEST_F(UpdateDecisionTest, EscapeOnTheOfferCountsAsCancel)
{
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringLiteral("reject"));
    const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", "sig", "/p.deb")}));
    EXPECT_EQ(out.events, QStringList{"ignored"});
}

TEST_F(UpdateDecisionTest, OfferIsTranslated)
{
    const QStringList langs = {"de", "es", "fr", "ja", "ko", "ru", "zh", "tw"};
    QStringList texts;
    for (const QString& lang : langs) {
        QTranslator translator;
        ASSERT_TRUE(translator.load(lang, QStringLiteral(":/"))) << lang.toStdString();
        QCoreApplication::installTranslator(&translator);
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("Cancel"));
        run(updater, profile({package(appId().toStdString(), "7300.0.0.0", "sig", "/p.deb")}));
        QCoreApplication::removeTranslator(&translator);
        ASSERT_EQ(answerer.count(), 1);
        texts << answerer.last().text;
        EXPECT_FALSE(answerer.last().text.startsWith(QStringLiteral("Software update"))) << lang.toStdString();
        EXPECT_TRUE(answerer.last().text.contains(QStringLiteral("7300.0.0.0"))) << lang.toStdString();
    }
    EXPECT_EQ(texts.first(),
              QStringLiteral("Software-Update 7300.0.0.0 ist verfügbar. Möchten Sie dieses Update herunterladen?"));
}

} // namespace
