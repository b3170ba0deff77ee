#pragma once

#include <vector>

#include <QString>
#include <QUrl>

namespace tessal {
namespace qt {

// The launch record a session is built from: what the launch URL said,
// validated, plus the address lists the session's checks fill in later.
struct SessionInfo {
    QUrl url;
    QString sessionId;
    QString resourceName;
    QString resourceType;
    QString token;
    bool appLaunch = false;
    std::vector<QString> ipv4Addresses;
    std::vector<QString> ipv6Addresses;
};

} // namespace qt
} // namespace tessal
