#include "session/InputParams.h"

#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/Uri.h"
#include "foundation/m_strings.h"

namespace {

const char kSource[] = "/InputParams.h";
const char kFunction[] = "InputParams::InputParams()";

QString toQString(const CString& text)
{
    return QString::fromUtf8(static_cast<const char*>(text), text.GetLength());
}

} // namespace

InputParams::InputParams(const CString& text, UHashTable& table) : InputParamsBase(text, table)
{
    // The resource name. The detail is the value alone: the whole URL would carry the
    // session id in full into the log.
    resourcename = requireParam("resourcename", table);
    if (!checkCharacterSet(resourcename, "[^&<>@#$!*%]", 128)) {
        throw UException(-1, kSource, kFunction, __LINE__, "EXCEPTION - %s, %s", "resourcename parameter is not valid",
                         static_cast<const char*>(resourcename));
    }

    // The resource type.
    resourcetype = requireParam("resourcetype", table);
    if (!checkCharacterSet(resourcetype, "[A-Za-z0-9_]", 128)) {
        throw UException(-1, kSource, kFunction, __LINE__, "EXCEPTION - %s, %s", "resourcetype parameter is not valid",
                         static_cast<const char*>(resourcetype));
    }
}

InputParams::~InputParams() = default;

namespace tessal {
namespace qt {

QUrl urlFromParams(const InputParamsBase& params)
{
    QUrl url;
    if (params.port != Uri::getDefaultPort(params.protocol).port)
        url.setPort(params.port);
    url.setScheme(toQString(params.protocol));
    url.setHost(toQString(params.server), QUrl::DecodedMode);
    return url;
}

SessionInfo sessionInfoFromParams(const InputParamsBase& params)
{
    SessionInfo info;
    info.url = urlFromParams(params);
    info.sessionId = toQString(params.sid);
    info.appLaunch = params.applaunch;
    return info;
}

SessionInfo sessionInfoFromParams(const InputParams& params)
{
    SessionInfo info = sessionInfoFromParams(static_cast<const InputParamsBase&>(params));
    info.resourceName = toQString(params.resourcename);
    info.resourceType = toQString(params.resourcetype);
    info.token = toQString(params.token);
    return info;
}

} // namespace qt
} // namespace tessal
