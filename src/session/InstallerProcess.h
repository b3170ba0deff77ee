#pragma once
// Runs an installer's tool from an argument vector (never through a shell),
// its output merged into the installer log.

#include <QString>
#include <QStringList>

namespace tessal {
namespace qt {

struct InstallerRun {
    bool ok = false; // started, ended within the limit, exit code 0
    QString error; // why not, for the Failure signal
};

// The installer log "/tmp/tessalinstall.log", opened for writing without
// following a link and truncated; when that name is taken by a link or by
// another user's file, a file of the user's own in the runtime folder (else
// the settings folder) instead, recorded in the log. Returns the descriptor
// or -1 with the reason in error.
int openInstallerLog(QString& error);

// Starts program with args; standard output and error go to the installer
// log. Waits up to timeoutMs (-1: an hour); a child still running then
// is killed.
InstallerRun runInstallerTool(const QString& program, const QStringList& args, int timeoutMs);

} // namespace qt
} // namespace tessal
