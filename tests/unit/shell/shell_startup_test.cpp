// Start-up decisions that need no process of their own: the toolkit gate,
// the catalogue language, and the session manager's no-session quit.

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include "session/SessionManager.h"
#include "shell/CustomQApplication.h"

using tessal::qt::catalogueLanguage;
using tessal::qt::checkToolkitVersion;
using tessal::qt::ToolkitVersionCheck;

TEST(ToolkitGate, ComparesPartByPart)
{
    EXPECT_EQ(checkToolkitVersion("6.4.2", "6.10.2"), ToolkitVersionCheck::TooOld); // not as text
    EXPECT_EQ(checkToolkitVersion("6.10.1", "6.10.2"), ToolkitVersionCheck::TooOld);
    EXPECT_EQ(checkToolkitVersion("6.10.2", "6.10.2"), ToolkitVersionCheck::Accepted);
    EXPECT_EQ(checkToolkitVersion("6.11.0", "6.10.2"), ToolkitVersionCheck::Accepted);
    EXPECT_EQ(checkToolkitVersion("7.0.0", "6.10.2"), ToolkitVersionCheck::Accepted);
}

TEST(ToolkitGate, UnparsableVersionsAreTolerated)
{
    EXPECT_EQ(checkToolkitVersion("6.10", "6.10.2"), ToolkitVersionCheck::Unparsable);
    EXPECT_EQ(checkToolkitVersion("6.10.2-beta", "6.10.2"), ToolkitVersionCheck::Unparsable);
    EXPECT_EQ(checkToolkitVersion("6.10.2", "70000.0.0"), ToolkitVersionCheck::Unparsable);
    EXPECT_EQ(checkToolkitVersion("", "6.10.2"), ToolkitVersionCheck::Unparsable);
}

TEST(Localisation, CatalogueLanguageOfALocale)
{
    EXPECT_EQ(catalogueLanguage("de_DE"), "de");
    EXPECT_EQ(catalogueLanguage("fr_CA"), "fr");
    EXPECT_EQ(catalogueLanguage("ja_JP"), "ja");
    EXPECT_EQ(catalogueLanguage("zh_CN"), "zh");
    EXPECT_EQ(catalogueLanguage("zh_SG"), "zh");
    EXPECT_EQ(catalogueLanguage("zh_TW"), "tw");
    EXPECT_EQ(catalogueLanguage("zh_HK"), "tw");
    EXPECT_EQ(catalogueLanguage("zh_MO"), "tw");
    EXPECT_EQ(catalogueLanguage("pt_BR"), "pt");
}

TEST(SessionManagerQuit, NoSessionQuitPostedBeforeTheLoopEndsItWithZero)
{
    tessal::qt::SessionManager manager;
    // A refused launch before the event loop runs: the quit must not be lost.
    EXPECT_FALSE(manager.CreateAndLaunchSession(QUrl("unknown-scheme://host")));
    EXPECT_EQ(manager.SessionCount(), 0);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    guard.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}
