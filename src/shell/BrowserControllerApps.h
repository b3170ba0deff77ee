#pragma once
// Helpers of the browser controller's application launch, log view and
// connection details.

#include <QString>
#include <QStringList>

#include <string>
#include <sys/types.h>
#include <vector>

#include "tunnel/TunnelTypes.h"

class UPropertyList;

namespace tessal {
namespace qt {

// Starts each application through the shell; does not wait for them.
void launchApplications(const std::vector<tessal::AppLaunchRequest>& apps);

// Whether the program of a launch path can be found: a path with a "/" is
// checked as a file the user may execute, a bare name is looked up in PATH.
// Nothing is run.
bool programInPath(const std::string& path);

// The text with every control, format (bidi overrides, zero-width marks) and
// line or paragraph separator character shown as an escape such as "\u202E",
// so that it reads as it will run.
QString visibleText(const QString& text);

// The consent question: intro, a line feed, then "• path parameters" per
// application, both shown through visibleText.
QString launchConsentText(const QString& intro, const std::vector<tessal::AppLaunchRequest>& apps);

// Launches config's applications, first asking the user (Ok or Cancel, Cancel
// the default) unless the site is trusted and the resource asks for no
// warning. Returns whether they were launched.
bool launchWithConsent(const tessal::AppLaunchConfig& config, bool trusted, const QString& intro);

// The connection details in the order the page takes them: port, transport
// protocol, security protocol, cipher strength, hash, cipher, key exchange,
// IPv4 and IPv6 address; missing ones are empty.
QStringList connectionDetails(const UPropertyList& properties);

// Opens the log file with the desktop's handler (xdg-open, started through
// the child set-up) when it is a regular file owned by the user; with root's
// credentials the handler runs as the owner of the log's folder, and not at
// all when that is root reached through another user's folders. Returns
// whether it was handed over.
bool openOwnLogFile(const QString& path);

} // namespace qt
} // namespace tessal
