#include "foundation/DeviceInfo.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/CSignature.h"
#include "foundation/Helpers.h"
#include "foundation/UArgFormat.h"
#include "foundation/str_helper.h"

namespace {

const char kStandalone[] =
    "<agent_info><type>standalone</type><version>1.0</version><platform>Win32</platform></agent_info>";

const char kShortTemplate[] =
    "<agent_info><type>%s</type><version>%s</version><platform>%s</platform><cpu>%s</cpu>"
    "<javascript>%s</javascript><activex>%s</activex><plugin>no</plugin><landinguri>%s</landinguri>"
    "<lockedmode>%s</lockedmode><hostname>%s</hostname><app_id>%s</app_id></agent_info>";

const char kExtendedTemplate[] =
    "<agent_info><type>%s</type><version>%s</version><platform>%s</platform><cpu>%s</cpu>"
    "<javascript>%s</javascript><activex>%s</activex><plugin>%s</plugin><landinguri>%s</landinguri>"
    "%s</agent_info>";

const char* yesNo(bool value)
{
    return value ? "yes" : "no";
}

// Values may hold markup characters (a landing URI's query has '&'); the
// server reads the text as XML.
CString xmlEscaped(const CString& value)
{
    if (value.FindOneOf("&<>\"'") < 0)
        return value;
    CString out;
    for (int i = 0; i < value.GetLength(); ++i) {
        switch (value[i]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += value[i]; break;
        }
    }
    return out;
}

CString base64Of(const CString& text)
{
    CString out;
    base64Encode(static_cast<const char*>(text), text.GetLength(), out);
    return out;
}

void appendElement(CString& elements, const char* format, const CString& value)
{
    if (!value.IsEmpty())
        elements += makeArgFormat(format, xmlEscaped(value)).str();
}

} // namespace

CString agentInfo(const CString& version, const CString& type, bool scriptingEnabled, std::optional<bool> lockedMode,
                  const CString& landingUri, const CString& appId)
{
    if (version == "1.0")
        return base64Of(kStandalone);
    const CString text =
        formatString(kShortTemplate, static_cast<const char*>(xmlEscaped(type)),
                     static_cast<const char*>(xmlEscaped(version)), static_cast<const char*>(platformName()),
                     static_cast<const char*>(processorName()), yesNo(scriptingEnabled), yesNo(scriptingEnabled),
                     static_cast<const char*>(xmlEscaped(landingUri)), lockedMode.has_value() ? yesNo(*lockedMode) : "",
                     static_cast<const char*>(hostNameBase64()), static_cast<const char*>(xmlEscaped(appId)));
    return base64Of(text);
}

CString agentInfoExtended(const CString& version, const CString& type, const DeviceInfoRecord& record,
                          const CString& landingUri)
{
    if (version == "1.0")
        return base64Of(kStandalone);
    CString elements;
    appendElement(elements, "<model>%1</model>", record.model);
    appendElement(elements, "<platform_version>%1</platform_version>", record.platformVersion);
    appendElement(elements, "<imei>%1</imei>", record.imei);
    appendElement(elements, "<mac_address>%1</mac_address>", record.macAddress);
    appendElement(elements, "<unique_id>%1</unique_id>", record.uniqueId);
    appendElement(elements, "<serial_number>%1</serial_number>", record.serialNumber);
    appendElement(elements, "<vendor_data>%1</vendor_data>", record.vendorData);
    appendElement(elements, "<app_id>%1</app_id>", record.appId);
    appendElement(elements, "<app_version>%1</app_version>", record.appVersion);
    const CString hostName = hostNameBase64();
    if (!hostName.IsEmpty())
        elements += "<hostname>" + hostName + "</hostname>";
    elements += makeArgFormat("<jailbreak>%1</jailbreak>", yesNo(record.jailbroken)).str();

    const CString platform = record.platform.IsEmpty() ? platformName() : record.platform;
    const CString cpu = record.cpu.IsEmpty() ? processorName() : record.cpu;
    const CString text = formatString(
        kExtendedTemplate, static_cast<const char*>(xmlEscaped(type)), static_cast<const char*>(xmlEscaped(version)),
        static_cast<const char*>(xmlEscaped(platform)), static_cast<const char*>(xmlEscaped(cpu)),
        yesNo(record.javascript), yesNo(record.activex), yesNo(record.plugin),
        static_cast<const char*>(xmlEscaped(landingUri)), static_cast<const char*>(elements));
    return base64Of(text);
}

CString deviceReportSignature(const CString& text)
{
    CSignature signature;
    return signature.ComputeHmac(text);
}

CString signedDeviceReport(const CString& session, const CString& deviceInfo, const CString& agentResult,
                           const CString& token)
{
    const CString text = formatString("session=%s&device_info=%s&agent_result=%s&token=%s",
                                      static_cast<const char*>(session), static_cast<const char*>(deviceInfo),
                                      static_cast<const char*>(agentResult), static_cast<const char*>(token));
    return text + "&signature=" + deviceReportSignature(text);
}

int splitUrl(const CString& url, int& scheme, CString& host, CString& path, int& port, bool allowOtherSchemes)
{
    struct Prefix {
        const char* text;
        int scheme;
        int port;
    };
    static const Prefix kPrefixes[] = {
        {"http://", URL_SCHEME_HTTP, 80},
        {"https://", URL_SCHEME_HTTPS, 443},
        {"ftp://", URL_SCHEME_FTP, 21},
        {"file://", URL_SCHEME_FILE, 0},
    };

    CString text(url);
    text.TrimLeft();
    text.TrimRight();
    int prefixLength = -1;
    int foundScheme = 0;
    int foundPort = 0;
    for (const Prefix& prefix : kPrefixes) {
        const int length = static_cast<int>(std::strlen(prefix.text));
        if (text.GetLength() >= length && asciiLowered(static_cast<const char*>(text.Left(length))) == prefix.text) {
            prefixLength = length;
            foundScheme = prefix.scheme;
            foundPort = prefix.port;
            break;
        }
    }
    if (prefixLength < 0) {
        const int marker = text.Find("://");
        if (!allowOtherSchemes || marker < 1)
            return 0;
        prefixLength = marker + 3;
        foundScheme = URL_SCHEME_OTHER;
        foundPort = 0;
    }
    scheme = foundScheme;
    port = foundPort;

    const CString rest = text.Mid(prefixLength);
    path = "/";
    host = rest;
    if (scheme == URL_SCHEME_FILE) {
        host.Replace('/', '\\');
        path.Empty();
        const int separator = host.Find('\\');
        if (separator >= 1) {
            path = host.Mid(separator);
            host = host.Left(separator);
        }
        return 1;
    }

    const int slash = rest.Find('/');
    if (slash >= 1) {
        path = rest.Mid(slash);
        host = rest.Left(slash);
    }
    const int at = host.ReverseFind('@');
    if (at >= 0) {
        host = host.Mid(at + 1);
        host.TrimLeft();
        host.TrimRight();
    }

    CString portText;
    const int bracket = host.Find(']');
    const int colon = host.ReverseFind(':');
    if (bracket >= 1) {
        if (colon > bracket) {
            portText = host.Mid(colon + 1);
            host = host.Left(colon);
        }
    } else if (colon >= 0) {
        portText = host.Mid(colon + 1);
        host = host.Left(colon);
    }
    host.TrimLeft();
    host.TrimRight();
    portText.TrimLeft();
    portText.TrimRight();
    if (!portText.IsEmpty()) {
        errno = 0;
        const long value = std::strtol(portText, nullptr, 10);
        // Cut to int, a large number would turn into some other port.
        port = (errno == 0 && value >= 0 && value <= 65535) ? static_cast<int>(value) : 0;
    }
    return 1;
}
