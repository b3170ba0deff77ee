// Helpers of the browser controller's application launch, log view and
// connection details.
#include "shell/BrowserControllerApps.h"

#include "shell/BrowserController.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dialogs/MessageBox.h"
#include "dialogs/ServerUrls.h"
#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"
#include "session/TrustedSitePrompt.h"
#include "shell/ShellTestSeam.h"

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "BrowserController";

std::mutex launcherMutex;
using AppLauncher = ShellTestSeam::AppLauncher;

AppLauncher currentLauncher;

// Reaps a launched application once it has ended, from the event loop. The
// process-wide SIGCHLD disposition stays as it is, so every other exit
// status the program waits for (installer tools, svpn's first process) is
// still there to be read.
void reapWhenEnded(pid_t pid)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        // Readable once the process has ended.
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, app);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, fd, pid]() {
            ::waitpid(pid, nullptr, WNOHANG);
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(fd);
        });
        return;
    }
    // A kernel without process descriptors: look once a second.
    auto* timer = new QTimer(app);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, pid]() {
        const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
        if (reaped == pid || (reaped < 0 && errno != EINTR)) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(1000);
}

pid_t launchCommand(const std::string& command)
{
    AppLauncher launcher;
    {
        std::lock_guard<std::mutex> hold(launcherMutex);
        launcher = currentLauncher;
    }
    if (launcher)
        return launcher(command);
    const pid_t pid = runShellCommand(command.c_str());
    if (pid > 0)
        reapWhenEnded(pid);
    return pid;
}

// Shows the box's text in a read-only view that scrolls and wraps a word
// without a break opportunity anywhere, in place of its label: a label clips
// such a word at the right edge, and the user must see the whole of every
// command before agreeing, whatever its length.
void showTextWhole(QMessageBox& box)
{
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr || box.layout() == nullptr)
        return;
    auto* view = new QPlainTextEdit(&box);
    view->setObjectName(QStringLiteral("launchCommands"));
    view->setReadOnly(true);
    view->setTabChangesFocus(true);
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setPlainText(box.text());
    constexpr int kColumns = 64;
    int lines = 0;
    for (const QString& line : box.text().split(QLatin1Char('\n')))
        lines += std::max<int>(1, static_cast<int>((line.size() + kColumns - 1) / kColumns));
    const QFontMetrics metrics(view->font());
    const int frame = 2 * view->frameWidth() + static_cast<int>(2 * view->document()->documentMargin());
    view->setMinimumSize(metrics.averageCharWidth() * kColumns + frame,
                         metrics.lineSpacing() * std::clamp(lines, 3, 12) + frame);
    QLayoutItem* replaced = box.layout()->replaceWidget(label, view);
    if (replaced == nullptr) {
        delete view;
        return;
    }
    delete replaced;
    label->hide();
}

bool isExecutablePath(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && isExecutableFile(info);
}

// Lookup keys in the order they are searched; the page takes them reversed.
const char* const kDetailKeys[] = {
    "X-VPN-client-IPv6",
    "X-VPN-client-IP",
    "TunnelTransportSecurityExchAlgo",
    "TunnelTransportSecurityCipherAlgo",
    "TunnelTransportSecurityHashAlgo",
    "TunnelTransportSecurityCipherStrengthInt",
    "TunnelTransportSecurityProto",
    "TunnelTransportProto",
    "TunnelPort",
};

} // namespace

ShellTestSeam::AppLauncher ShellTestSeam::replaceAppLauncher(AppLauncher launcher)
{
    std::lock_guard<std::mutex> hold(launcherMutex);
    std::swap(currentLauncher, launcher);
    return launcher;
}

bool programInPath(const std::string& path)
{
    std::string name = path;
    // The command line goes through the shell, so a quoted path names the
    // program without its quotes.
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front())
        name = name.substr(1, name.size() - 2);
    if (name.empty())
        return false;
    if (name.find('/') != std::string::npos)
        return isExecutablePath(name);
    const char* variable = std::getenv("PATH");
    const std::string search = variable != nullptr ? variable : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= search.size()) {
        size_t end = search.find(':', start);
        if (end == std::string::npos)
            end = search.size();
        const std::string folder = end > start ? search.substr(start, end - start) : ".";
        if (isExecutablePath(folder + "/" + name))
            return true;
        start = end + 1;
    }
    return false;
}

void launchApplications(const std::vector<tessal::AppLaunchRequest>& apps)
{
    for (const tessal::AppLaunchRequest& app : apps) {
        if (!BrowserController::appExistsInPath(app)) {
            ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                         makeArgFormat("Looks like app \"%1\" doesn't exist, please check resource configuration",
                                       app.app_path));
        }
        const pid_t pid = launchCommand(app.app_path + " " + app.app_params);
        ULOG_VERBOSE(
            kLogFile, __PRETTY_FUNCTION__,
            makeArgFormat("Launched '%1', args: %2, pid=%3", app.app_path, app.app_params, static_cast<int>(pid)));
    }
}

QString visibleText(const QString& text)
{
    QString shown;
    for (const uint code : text.toUcs4()) {
        const char32_t c = static_cast<char32_t>(code);
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            shown += QStringLiteral("\\u") + QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0'));
            break;
        default: shown += QString::fromUcs4(&c, 1); break;
        }
    }
    return shown;
}

QString launchConsentText(const QString& intro, const std::vector<tessal::AppLaunchRequest>& apps)
{
    QString text = intro + QLatin1Char('\n');
    for (const tessal::AppLaunchRequest& app : apps) {
        // Both at once, so a "%2" inside the path stays as it is.
        text += QStringLiteral("\u2022 %1 %2\n")
                    .arg(visibleText(QString::fromUtf8(app.app_path.c_str())),
                         visibleText(QString::fromUtf8(app.app_params.c_str())));
    }
    return text;
}

bool launchWithConsent(const tessal::AppLaunchConfig& config, bool trusted, const QString& intro)
{
    if (config.requests.empty())
        return false;
    if (!trusted || config.show_warning) {
        // Plain text: rich text could hide part of a command from the user.
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        launchConsentText(intro, config.requests), QMessageBox::Ok | QMessageBox::Cancel);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Cancel);
        showTextWhole(box);
        if (execQuestion(box, QMessageBox::Cancel) != QMessageBox::Ok)
            return false;
    }
    launchApplications(config.requests);
    return true;
}

QStringList connectionDetails(const UPropertyList& properties)
{
    QStringList values;
    for (const char* key : kDetailKeys) {
        const UHashTableItem* item = properties.findProperty(key);
        values.prepend(item != nullptr ? QString::fromUtf8(static_cast<const char*>(item->m_value)) : QString());
    }
    return values;
}

bool openOwnLogFile(const QString& path)
{
    const std::string local = QFile::encodeName(path).toStdString();
    const size_t slash = local.rfind('/');
    const std::string folderPath = slash == std::string::npos ? std::string(".")
                                 : slash == 0                 ? std::string("/")
                                                              : local.substr(0, slash);
    const std::string name = slash == std::string::npos ? local : local.substr(slash + 1);
    // Whose log it is comes from the folder as opened, never from the path:
    // a link or a renamed folder in the user's home must not make it root's.
    FolderFacts facts;
    const UniqueFd folder = openFolder(folderPath, false, 0, &facts);
    struct stat info {};
    const UniqueFd log = folder.get() >= 0 ? openRegularFileAt(folder.get(), name, info) : UniqueFd();
    const uid_t owner = facts.info.st_uid;
    const bool superUser = ::geteuid() == 0;
    if (log.get() < 0 || (info.st_uid != ::getuid() && (!superUser || info.st_uid != owner))) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Log file %1 is not a regular file of the user, not opening it", path));
        return false;
    }
    // The desktop's handler, started through the one child set-up: whatever
    // it starts (a viewer that stays open) holds nothing of ours. With root's
    // credentials it runs as the folder's owner, in an environment made for
    // that user: the handler is whatever the home's owner chose.
    ChildStart start;
    start.detached = true;
    UserIdentity identity;
    PasswordEntry entry;
    if (superUser && (owner != 0 || facts.othersOnTheWay)) {
        if (owner == 0 || !passwordEntry(owner, entry)) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("No user to open log file %1 as, not opening it", path));
            return false;
        }
        identity = userIdentity(owner, facts.info.st_gid);
        start.identity = &identity;
        start.environment = userEnvironment(owner);
        start.directory = entry.home;
    }
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    const std::string url = QUrl::fromLocalFile(path).toEncoded().toStdString();
    start.args = {QFile::encodeName(opener).toStdString(), url};
    const ChildRun run = opener.isEmpty() ? ChildRun() : startProcess(start);
    if (!run.started()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Cannot open log file %1 with the desktop's handler: %2", path,
                                 opener.isEmpty() ? QStringLiteral("xdg-open not found")
                                                  : QString::fromLocal8Bit(std::strerror(run.error))));
        return false;
    }
    return true;
}

} // namespace qt
} // namespace tessal
