#pragma once
// What the library tells an access server about the client device: the
// "<agent_info>" texts (Base64), the signed device report, and the URL
// splitter.

#include <optional>

#include "foundation/String.h"

struct DeviceInfoRecord {
    bool plugin = false;
    bool javascript = false;
    bool activex = false;
    CString cpu; // empty: "x64"
    CString platform; // empty: "Linux"
    CString model;
    CString platformVersion;
    CString imei;
    CString macAddress;
    CString uniqueId;
    CString serialNumber;
    CString reserved; // no builder writes it
    CString vendorData;
    CString appId;
    CString appVersion;
    bool jailbroken = false;
};

// Values go into the XML escaped; version "1.0" gives the fixed standalone
// text whatever the other arguments are. An empty landing URI or
// application id, and no locked mode, give empty elements.
CString agentInfo(const CString& version, const CString& type, bool scriptingEnabled,
                  std::optional<bool> lockedMode = std::nullopt, const CString& landingUri = CString(),
                  const CString& appId = CString());
CString agentInfoExtended(const CString& version, const CString& type, const DeviceInfoRecord& record,
                          const CString& landingUri = CString());

// "session=..&device_info=..&agent_result=..&token=..&signature=<signature>".
CString signedDeviceReport(const CString& session, const CString& deviceInfo, const CString& agentResult,
                           const CString& token);
// Base64 of HMAC-MD5 of text with the built-in key of the package signature.
CString deviceReportSignature(const CString& text);

enum : int {
    URL_SCHEME_OTHER = -1,
    URL_SCHEME_HTTP = 1,
    URL_SCHEME_HTTPS = 2,
    URL_SCHEME_FTP = 3,
    URL_SCHEME_FILE = 4,
};

// 1 on success, 0 when the scheme is not accepted. A port text that is no
// port (above 65535 or negative) gives port 0.
int splitUrl(const CString& url, int& scheme, CString& host, CString& path, int& port, bool allowOtherSchemes);
