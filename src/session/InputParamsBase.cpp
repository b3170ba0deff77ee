#include "session/InputParamsBase.h"

#include <cstring>
#include <string>

#include <QString>
#include <QUrl>

#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/UIPAddress.h"
#include "foundation/UVersion.h"
#include "foundation/m_strings.h"
#include "foundation/str_helper.h"
#include "session/LaunchText.h"

namespace {

const char kSource[] = "/InputParamsBase.h";
const char kFunction[] = "InputParamsBase::InputParamsBase()";

const int kMaxPackages = 10;

[[noreturn]] void fail(int line, const CString& text, const CString& detail)
{
    throw UException(-1, kSource, kFunction, line, "EXCEPTION - %s, %s", static_cast<const char*>(text),
                     static_cast<const char*>(detail));
}

CString decimal(int value)
{
    return CString(std::to_string(value).c_str());
}

// A value may be a session id, token or one-time code: those appear in error
// details only in their short form.
bool isSecretKey(const CString& key)
{
    return compareNoCase(key, "sid") == 0 || compareNoCase(key, "otc") == 0 || compareNoCase(key, "token") == 0;
}

void checkAllowed(const char* key, const CString& value, const char* set, int maxLength, int line)
{
    if (!checkCharacterSet(value, set, maxLength))
        fail(line, CString(key) + " parameter is not valid", isSecretKey(key) ? shortSecret(value) : value);
}

// The server becomes the host of the session's URL. A text the classifier
// takes for a host name but a URL cannot carry (a blank, "/", "?", "#")
// would leave an empty URL, which the trust prompt would then show and record.
bool formsUrlHost(const CString& server)
{
    QUrl url;
    url.setHost(QString::fromUtf8(static_cast<const char*>(server), server.GetLength()), QUrl::DecodedMode);
    return url.isValid() && !url.host().isEmpty();
}

} // namespace

CString requireParam(const CString& key, UHashTable& table)
{
    const UHashTableItem* item = table.findProperty(key);
    if (!item || item->m_value.IsEmpty()) {
        throw UException(-1, kSource, "requireParam()", __LINE__, "EXCEPTION - %s",
                         static_cast<const char*>(key + " parameter is missing"));
    }
    return item->m_value;
}

InputParamsBase::InputParamsBase(const CString& text, UHashTable& table)
{
    // The length, in bytes.
    const int length = text.GetLength();
    if (length > kMaxTextLength)
        fail(__LINE__, "string with input parameters is too long (length)", decimal(length));

    // The query follows the last "?".
    CString query;
    if (!launch_text::splitAtLast(text, '?', query))
        fail(__LINE__, "string with input parameters is ill formatted", decimal(length));

    // Decoding comes before splitting: an encoded "&" or "=" separates too.
    const CString decoded = URLDecode(query);

    // The pairs. Each piece is cut and checked with its full length, so
    // a decoded NUL cannot hide what follows it from the checks below.
    table.removeAll();
    for (const CString& pair : launch_text::splitPieces(decoded, '&')) {
        CString key;
        CString value;
        launch_text::cutPair(pair, key, value);
        if (launch_text::hasControlCharacter(key) || launch_text::hasControlCharacter(value)) {
            const CString shown = launch_text::printable(value);
            fail(__LINE__, launch_text::printable(key) + " parameter is not valid",
                 isSecretKey(key) ? shortSecret(shown) : shown);
        }
        table.setValue(key, value);
    }

    // The server: host name, dotted IPv4 address or bracketed IPv6 address.
    server = requireParam("server", table);
    if (UIPAddress::Parse(server) == 0 || !formsUrlHost(server))
        fail(__LINE__, "server parameter is not valid", server);

    // The port: one that does not read as a number, or 0, is refused.
    const CString portText = requireParam("port", table);
    port = toUINT16(portText, 0, nullptr);
    if (port == 0)
        fail(__LINE__, "port parameter is not valid", portText);

    // The protocol, http or https; stored as written.
    protocol = requireParam("protocol", table);
    if (compareNoCase(protocol, "http") != 0 && compareNoCase(protocol, "https") != 0)
        fail(__LINE__, "protocol parameter is not valid", protocol);

    // The session id: required even when a one-time code is given.
    sid = requireParam("sid", table);
    checkAllowed("sid", sid, "[A-Za-z0-9]", 512, __LINE__);
    if (sid.GetLength() != 32)
        fail(__LINE__, "sid parameter length is invalid", shortSecret(sid));

    // The one-time code and the token are optional.
    otc = table.getPropertyValue("otc", "");
    if (!otc.IsEmpty())
        checkAllowed("otc", otc, "[A-Za-z0-9]", 512, __LINE__);
    token = table.getPropertyValue("token", "");
    if (!token.IsEmpty())
        checkAllowed("token", token, "[A-Za-z0-9]", 512, __LINE__);

    // The launch flag, true or false, when given.
    const CString launchFlag = table.getPropertyValue("applaunch", "");
    if (!launchFlag.IsEmpty()) {
        if (compareNoCase(launchFlag, "true") != 0 && compareNoCase(launchFlag, "false") != 0)
            fail(__LINE__, "applaunch parameter is not valid", launchFlag);
        applaunch = toBool(launchFlag, false);
    }

    // The packages: numbered entries; the first gap ends them.
    for (int n = 0; n < kMaxPackages; ++n) {
        const CString number = decimal(n);
        const CString idKey = "id" + number;
        const CString versionKey = "version" + number;
        const CString packageKey = "package" + number;

        if (!table.findProperty(idKey)) {
            const CString* orphan = nullptr;
            if (table.findProperty(packageKey))
                orphan = &packageKey;
            else if (table.findProperty(versionKey))
                orphan = &versionKey;
            if (!orphan)
                break;
            fail(__LINE__, *orphan + " exist but id" + number + " is mising (" + *orphan + " value)",
                 table.getPropertyValue(*orphan, ""));
        }

        PackageEntry entry;
        entry.id = requireParam(idKey, table);
        entry.version = requireParam(versionKey, table);
        entry.package = requireParam(packageKey, table);
        entry.id.Replace("+", " ");
        if (!UVersion::isValid(entry.version, 4))
            fail(__LINE__, versionKey + " parameter is not valid", entry.version);
        if (!checkCharacterSet(entry.package, "[A-Za-z0-9_/.]", 128))
            fail(__LINE__, packageKey + " parameter is not valid", entry.package);
        // " -/" in the set is the range from blank to "/".
        if (!checkCharacterSet(entry.id, "[{}:A-Za-z0-9_ -/]", 128))
            fail(__LINE__, idKey + " parameter is not valid", entry.id);
        packages.push_back(entry);
    }
}

InputParamsBase::~InputParamsBase() = default;
