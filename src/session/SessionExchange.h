#pragma once
// The two short exchanges of a network-access launch: the one-time code
// traded for the session id, and the start report. Both wait for their
// answer in a nested event loop on the GUI thread.

#include <functional>

#include <QNetworkCookie>
#include <QString>
#include <QUrl>

class CString;

namespace tessal {
namespace qt {

// True and sid filled when the server answered the code with a valid session id.
bool retrieveSidFromOtc(const QUrl& server, const CString& otc, CString& sid);

// False only when the user refused the server's certificate. whileSent runs
// once the request is out, before the answer is read (the network goes on).
bool ReportNetworkAccess(const QUrl& server, const QString& sessionId, const QString& token,
                         const std::function<void()>& whileSent = nullptr);

// Cookie with path "/", no domain, no expiry.
QNetworkCookie MakeSessionCookie(const QString& name, const QString& value, bool secure);

// The rule a session id must follow: 32 ASCII letters and digits.
bool isValidSessionId(const CString& sid);

// The launch URL as it may appear in a record: the values of "sid", "otc" and
// "token" in short form.
QString redactedLaunchUrl(const QUrl& url);

} // namespace qt
} // namespace tessal
