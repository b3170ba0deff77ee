#pragma once

#include <cstdint>
#include <vector>

#include "foundation/Helpers.h"
#include "foundation/String.h"

class UHashTable;

// One numbered package entry of a launch URL ("id0", "version0", "package0", ...).
struct PackageEntry {
    CString id;
    CString version;
    CString package;
};

// The common parameters of a launch URL. Building one parses and validates
// the URL text; any rule that fails throws UException with code -1 and the
// launch is refused. The caller's table receives every key and value of the
// query (key look-ups ignore ASCII case) and is discarded afterwards.
class InputParamsBase
{
public:
    InputParamsBase(const CString& text, UHashTable& table);
    virtual ~InputParamsBase();

    CString server;
    uint16_t port = 0;
    CString protocol; // as written: "http" or "https" in any case
    CString sid;
    CString token; // empty when absent
    CString otc; // empty when absent
    bool applaunch = false;
    std::vector<PackageEntry> packages;

    // Longest launch URL accepted, in bytes.
    static constexpr int kMaxTextLength = 10240;
};

// The value of key; a missing key or an empty value throws
// "<key> parameter is missing".
CString requireParam(const CString& key, UHashTable& table);
