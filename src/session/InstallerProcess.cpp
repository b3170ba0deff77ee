#include "session/InstallerProcess.h"

#include "foundation/IUErrorLog.h"

#include "tessal_config.h"

#include <QProcess>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessal::qt {

namespace {
constexpr const char* kLogFile = "/InstallerProcess";

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};
}  // namespace

int openInstallerLog(QString& error)
{
    const char* path = TESSAL_SYSTEM_PATH("/tmp/tessalinstall.log");
    // Not truncated before the owner is known: the folder is shared with other users.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = QStringLiteral("Cannot open installer log %1: %2").arg(QString::fromUtf8(path), QString::fromLocal8Bit(strerror(errno)));
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
        ::close(fd);
        error = QStringLiteral("Installer log %1 belongs to another user").arg(QString::fromUtf8(path));
        return -1;
    }
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        error = QStringLiteral("Cannot truncate installer log %1").arg(QString::fromUtf8(path));
        return -1;
    }
    return fd;
}

InstallerRun runInstallerTool(const QString& program, const QStringList& args, int timeoutMs)
{
    InstallerRun run;
    Descriptor log(openInstallerLog(run.error));
    if (log.get() < 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    const int fd = log.get();
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier([fd]() {
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
    });
    process.start();
    if (!process.waitForStarted(timeoutMs < 0 ? 30000 : timeoutMs)) {
        run.error = QStringLiteral("Cannot start %1: %2").arg(program, process.errorString());
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.error = QStringLiteral("%1 did not finish in time").arg(program);
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        run.error = process.exitStatus() != QProcess::NormalExit
                        ? QStringLiteral("%1 crashed").arg(program)
                        : QStringLiteral("%1 exited with code %2").arg(program).arg(process.exitCode());
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, run.error);
        return run;
    }
    run.ok = true;
    return run;
}

}  // namespace tessal::qt
