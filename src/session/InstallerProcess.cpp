#include "session/InstallerProcess.h"

#include "foundation/IUErrorLog.h"
#include "foundation/LogSettings.h"
#include "foundation/String.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

#include "tessal_config.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "InstallerProcess";
// "Until it ends" still has an end: a tool stopped by the user holds nobody up.
constexpr long long kUnboundedWaitMs = 3600000;

// Opens path for the installer's output: created 0600 without following a
// link, and used only when it is a regular file of the effective user with
// no other name; it is truncated only then (the fixed path lies in a folder
// shared with others). O_NONBLOCK keeps a FIFO planted there from stopping
// the open; the flag is cleared once the file is known to be a regular one.
int openOwnLog(const QByteArray& path, QString& error)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        error = QStringLiteral("Cannot open installer log %1: %2")
                    .arg(QString::fromUtf8(path), QString::fromLocal8Bit(strerror(errno)));
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() || status.st_nlink != 1) {
        ::close(fd);
        error = QStringLiteral("Installer log %1 belongs to another user").arg(QString::fromUtf8(path));
        return -1;
    }
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        error = QStringLiteral("Cannot truncate installer log %1").arg(QString::fromUtf8(path));
        return -1;
    }
    return fd;
}

// A folder of the user's own for the installer output: the runtime folder,
// else the settings folder; none where another user controls the way there
// (root with a user's HOME), as that user could swap it for a link.
QByteArray ownLogFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat status {};
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == ::geteuid() && !othersControlPath(runtime.toStdString()))
        return runtime;
    CString folder;
    getConfigFolder(folder, true);
    const QByteArray settings(static_cast<const char*>(folder));
    if (settings.isEmpty() || othersControlPath(settings.toStdString()))
        return QByteArray();
    return settings;
}

} // namespace

int openInstallerLog(QString& error)
{
    const QByteArray fixed(TESSAL_SYSTEM_PATH("/tmp/tessalinstall.log"));
    const int fd = openOwnLog(fixed, error);
    if (fd >= 0)
        return fd;
    // Anyone can take the fixed name first: the install goes on with a file
    // of the user's own, and the log says where.
    const QByteArray folder = ownLogFolder();
    if (folder.isEmpty())
        return -1;
    const QByteArray own = folder + "/tessalinstall.log";
    QString ownError;
    const int ownFd = openOwnLog(own, ownError);
    if (ownFd < 0) {
        error += QStringLiteral("; ") + ownError;
        return -1;
    }
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Installer output goes to %1 instead: %2", own.constData(), error));
    error.clear();
    return ownFd;
}

InstallerRun runInstallerTool(const QString& program, const QStringList& args, int timeoutMs)
{
    InstallerRun run;
    UniqueFd log(openInstallerLog(run.error));
    if (log.get() < 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    // The tool gets the log on standard output and error and nothing else of
    // ours (the toolkit's, the web engine's), with the signal state and the
    // environment it would get without us.
    const QString path = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    ChildStart start;
    start.args.push_back(QFile::encodeName(path.isEmpty() ? program : path).toStdString());
    for (const QString& arg : args)
        start.args.push_back(QFile::encodeName(arg).toStdString());
    start.handed = {{log.get(), STDOUT_FILENO}, {log.get(), STDERR_FILENO}};
    start.waitMs = timeoutMs < 0 ? kUnboundedWaitMs : timeoutMs;
    const ChildRun child = path.isEmpty() ? ChildRun{-1, ENOENT} : startProcess(start);
    if (child.timedOut) {
        run.error = QStringLiteral("%1 did not finish in time").arg(program);
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    if (!child.started()) {
        run.error =
            QStringLiteral("Cannot start %1: %2").arg(program, QString::fromLocal8Bit(std::strerror(child.error)));
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    if (!WIFEXITED(child.status) || WEXITSTATUS(child.status) != 0) {
        run.error = !WIFEXITED(child.status)
                      ? QStringLiteral("%1 crashed").arg(program)
                      : QStringLiteral("%1 exited with code %2").arg(program).arg(WEXITSTATUS(child.status));
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    run.ok = true;
    return run;
}

} // namespace qt
} // namespace tessal
