#include "shell/BrowserPreferencesCleanup.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <QCoreApplication>
#include <QObject>

#include "dialogs/MessageBox.h"
#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/LogSettings.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/UserFiles.h"
#include "shell/ChromePreferencesCleanup.h"
#include "shell/CustomQApplication.h"
#include "shell/FirefoxPreferencesCleanup.h"
#include "shell/ShellTestSeam.h"

namespace tessal {
namespace system {

namespace {

bool passwordDatabase(const std::string& user, UserEntry& found)
{
    PasswordEntry entry;
    if (!(user.empty() ? passwordEntry(::getuid(), entry) : passwordEntry(user, entry)))
        return false;
    found.home = entry.home;
    found.uid = entry.uid;
    return true;
}

qt::ShellTestSeam::UserLookup findUser = passwordDatabase;

[[noreturn]] void noSuchUser(const std::string& user)
{
    throw std::runtime_error("failed to get home folder for user: " + user);
}

// The process id read from the leading digits of a folder name; 0 when none.
int leadingNumber(const std::string& name)
{
    long long value = 0;
    for (const char c : name) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > 0x7fffffff)
            return 0;
    }
    return static_cast<int>(value);
}

} // namespace

std::string getHomeFolder(const std::string& user)
{
    if (user.empty()) {
        const std::string home = static_cast<const char*>(::getHomeFolder());
        if (!home.empty())
            return home;
    }
    UserEntry entry;
    if (!findUser(user, entry))
        noSuchUser(user);
    return entry.home;
}

uid_t userId(const std::string& user)
{
    UserEntry entry;
    if (!findUser(user, entry))
        noSuchUser(user);
    return entry.uid;
}

std::vector<ProcessRecord> listProcesses(const std::string& procRoot)
{
    std::vector<ProcessRecord> processes;
    for (const auto& entry : std::filesystem::directory_iterator(procRoot)) {
        const int pid = leadingNumber(entry.path().filename().string());
        std::error_code error;
        if (pid == 0 || !entry.is_directory(error))
            continue;
        ProcessRecord process;
        process.pid = pid;
        std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
        std::string command;
        if (cmdline && std::getline(cmdline, command, '\0') && !command.empty())
            process.command = command;
        processes.push_back(process);
    }
    return processes;
}

} // namespace system

namespace qt {

namespace {

constexpr const char* kLogFile = "BrowserPreferencesCleanup";
constexpr const char* kOperation = "cleanupBrowserPreferences";

using tessal::system::ProcessMatcher;
using tessal::system::ProcessRecord;

std::vector<ProcessRecord> runningBrowsers(const std::string& procRoot)
{
    const ProcessMatcher matchers[] = {
        {"chrome", 5, 1, true, 18},
        {"firefox", 5, 1, true, 18},
        // Debian's Firefox ESR runs under its own name.
        {"firefox-esr", 5, 1, true, 18},
    };
    std::vector<ProcessRecord> browsers;
    for (const ProcessRecord& process : tessal::system::listProcesses(procRoot)) {
        for (const ProcessMatcher& matches : matchers) {
            if (matches(process)) {
                browsers.push_back(process);
                break;
            }
        }
    }
    return browsers;
}

int askToCloseBrowsers(const std::vector<ProcessRecord>& browsers)
{
    QString text = QObject::tr("Do you want to perform browser preferences cleanup? Please close all running "
                               "instances of Firefox and Chrome browsers to continue:") +
                   QStringLiteral("<ul>");
    // A command line is whatever its program chose: never markup.
    for (const ProcessRecord& browser : browsers)
        text +=
            QStringLiteral("<li>") + QString::fromStdString(browser.command).toHtmlEscaped() + QStringLiteral("</li>");
    text += QStringLiteral("</ul>");

    MessageBox box;
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setTextFormat(Qt::RichText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Retry | QMessageBox::No);
    // Ended without a button (a quit, a signal) it is a No: every later box
    // would return at once, and Retry would ask for ever.
    return execQuestion(box, QMessageBox::No);
}

} // namespace

bool isCleanupCommandLine(const QStringList& arguments)
{
    return arguments.size() >= 2 && equalsNoCase(arguments[1], QStringLiteral("--cleanup"));
}

bool cleanupBrowserPreferences(const std::vector<std::string>& schemes, const std::string& user,
                               const std::string& procRoot)
{
    const char* const function = __PRETTY_FUNCTION__;
    bool declined = false;
    int listed = 0;
    guardOperation(UCATCH_SITE(kLogFile, "Failed to list running processes", kOperation), listed, [&] {
        for (std::vector<ProcessRecord> browsers = runningBrowsers(procRoot); !browsers.empty();
             browsers = runningBrowsers(procRoot)) {
            if (askToCloseBrowsers(browsers) == QMessageBox::No) {
                declined = true;
                return;
            }
        }
    });
    if (declined || listed != 0)
        return false;

    int chrome = 0;
    ULOG_ERROR(kLogFile, function, makeArgFormat("Performing Chrome preferences cleanup"));
    guardOperation(UCATCH_SITE(kLogFile, "Failed to cleanup chrome profile", kOperation), chrome, [&] {
        cleanupChromeProfile(schemes, user);
        ULOG_ERROR(kLogFile, function, makeArgFormat("Done!"));
    });

    int firefox = 0;
    ULOG_ERROR(kLogFile, function, makeArgFormat("Performing Firefox preferences cleanup"));
    guardOperation(UCATCH_SITE(kLogFile, "Failed to cleanup firefox profile", kOperation), firefox, [&] {
        cleanupFirefoxProfile(schemes, user);
        ULOG_ERROR(kLogFile, function, makeArgFormat("Done!"));
    });
    return chrome == 0 && firefox == 0;
}

bool cleanupBrowserPreferences(CustomQApplication& app, const QString& user)
{
    return cleanupBrowserPreferences({app.schemeName.toStdString()}, user.toStdString(), "/proc");
}

ShellTestSeam::UserLookup ShellTestSeam::setUserLookup(UserLookup lookup)
{
    const UserLookup before = system::findUser;
    system::findUser = lookup;
    return before;
}

} // namespace qt
} // namespace tessal
