#include "foundation/UIPAddress.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/m_strings.h"
#include "foundation/m_type_conversion.h"
#include "foundation/str_helper.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>

namespace {

const char kFile[] = "/UIPAddress";

[[noreturn]] void throwInvalid(const char* function, int line, const char* reason, const char* input)
{
    throw UException(-1, kFile, function, line, "EXCEPTION - %s, %s", reason, input != nullptr ? input : "");
}

// A prefix length: blanks, then one to maxDigits digits, then only blanks.
// No sign: "-0" or "+8" is no prefix length.
bool readPrefixLength(const char* text, int maxDigits, int& value)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    int digits = 0;
    int number = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (++digits > maxDigits)
            return false;
        number = number * 10 + (*p++ - '0');
    }
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (digits == 0 || *p != '\0')
        return false;
    value = number;
    return true;
}

} // namespace

// ---------------------------------------------------------------- IPv4

bool UIPv4Address::read(const char* text, uint32_t& value)
{
    if (text == nullptr)
        return false;
    uint32_t result = 0;
    const char* p = text;
    for (int group = 0; group < 4; ++group) {
        if (group > 0 && *p++ != '.')
            return false;
        uint32_t number = 0;
        int digits = 0;
        while (std::isdigit(static_cast<unsigned char>(*p)) && digits < 4) {
            number = number * 10 + static_cast<uint32_t>(*p++ - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255)
            return false;
        result = (result << 8) | number;
    }
    if (*p != '\0')
        return false;
    value = result;
    return true;
}

UIPv4Address UIPv4Address::parse(const CString& text)
{
    uint32_t value = 0;
    if (!read(text, value))
        throwInvalid("UIPv4Address::parse()", __LINE__, "invalid value", text);
    return UIPv4Address(value);
}

UIPv4Netmask UIPv4Netmask::fromCiscoValue(uint32_t prefixLength)
{
    if (prefixLength > 32)
        throwInvalid("UIPv4Netmask::fromCiscoValue()", __LINE__, "invalid value", toString(prefixLength));
    uint32_t mask = 0;
    for (uint32_t bit = 0; bit < 32; ++bit)
        mask = (mask << 1) | (bit < prefixLength ? 1u : 0u);
    return UIPv4Netmask(mask);
}

UIPv4Netmask UIPv4Netmask::parse(const CString& text)
{
    CString trimmed(text);
    trimmed.TrimLeft();
    trimmed.TrimRight();

    int number = 0;
    uint32_t mask;
    if (readPrefixLength(trimmed, 2, number)) {
        mask = fromCiscoValue(IntToDWORD(number)).value();
    } else {
        if (!UIPv4Address::read(trimmed, mask))
            throwInvalid("UIPv4Netmask::parse()", __LINE__, "invalid value", trimmed);
    }
    // The one bits must be a single run from the top.
    if ((~mask & (0u - mask)) != 0)
        throwInvalid("UIPv4Netmask::parse()", __LINE__, "invalid value", trimmed);
    return UIPv4Netmask(mask);
}

// ---------------------------------------------------------------- IPv6

UIPv6AddressExpanded::UIPv6AddressExpanded()
{
    std::memset(m_bytes, 0, sizeof(m_bytes));
}

bool UIPv6AddressExpanded::operator==(const UIPv6AddressExpanded& other) const
{
    return std::memcmp(m_bytes, other.m_bytes, sizeof(m_bytes)) == 0;
}

UIPv6AddressExpanded UIPv6AddressExpanded::parse(const CString& text)
{
    unsigned int g[8];
    char rest[10] = {0};
    const int fields = std::sscanf(text, "%4x:%4x:%4x:%4x:%4x:%4x:%4x:%4x%9s", &g[0], &g[1], &g[2], &g[3], &g[4], &g[5],
                                   &g[6], &g[7], rest);
    if (fields != 8)
        throwInvalid("UIPv6AddressExpanded::parse()", __LINE__, "invalid value", text);
    UIPv6AddressExpanded result;
    if (::inet_pton(AF_INET6, text, result.m_bytes) != 1)
        throwInvalid("UIPv6AddressExpanded::parse()", __LINE__, "invalid value", text);
    return result;
}

UIPv6NetmaskExpanded::UIPv6NetmaskExpanded()
{
    std::memset(m_bytes, 0, sizeof(m_bytes));
}

bool UIPv6NetmaskExpanded::operator==(const UIPv6NetmaskExpanded& other) const
{
    return std::memcmp(m_bytes, other.m_bytes, sizeof(m_bytes)) == 0;
}

UIPv6NetmaskExpanded UIPv6NetmaskExpanded::fromCiscoValue(uint32_t prefixLength)
{
    if (prefixLength > 128)
        throwInvalid("UIPv6NetmaskExpanded::fromCiscoValue()", __LINE__, "invalid value", toString(prefixLength));
    UIPv6NetmaskExpanded result;
    const uint32_t full = prefixLength / 8;
    std::memset(result.m_bytes, 0xFF, full);
    if (full < 16)
        result.m_bytes[full] = static_cast<unsigned char>((0xFF00u >> (prefixLength % 8)) & 0xFF);
    return result;
}

UIPv6NetmaskExpanded UIPv6NetmaskExpanded::parse(const CString& text)
{
    int number = 0;
    if (readPrefixLength(text, 3, number))
        return fromCiscoValue(IntToDWORD(number));

    const UIPv6AddressExpanded address = UIPv6AddressExpanded::parse(text);
    UIPv6NetmaskExpanded result;
    std::memcpy(result.m_bytes, address.bytes(), sizeof(result.m_bytes));
    bool ended = false;
    for (unsigned char b : result.m_bytes) {
        const bool partial = b == 0x80 || b == 0xC0 || b == 0xE0 || b == 0xF0 || b == 0xF8 || b == 0xFC || b == 0xFE;
        const bool valid = ended ? b == 0x00 : (b == 0xFF || b == 0x00 || partial);
        if (!valid)
            throwInvalid("UIPv6NetmaskExpanded::parse()", __LINE__, "invalid value", text);
        if (b != 0xFF)
            ended = true;
    }
    return result;
}

CString UIPv6Address::Expand(const CString& text)
{
    if (text.Find("::") < 0)
        return text;
    int colons = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (text[i] == ':')
            ++colons;
    }
    if (colons > 7)
        throwInvalid("UIPv6Address::Expand()", __LINE__, "invalid value", text);

    CString filler(":");
    for (int i = 0; i < 8 - colons; ++i)
        filler += "0000:";
    CString result(text);
    result.Replace("::", filler);
    if (result.GetLength() > 0 && result[result.GetLength() - 1] == ':')
        result += "0000";
    if (result.GetLength() > 0 && result[0] == ':')
        result = CString("0000") + result;
    return result;
}

// ---------------------------------------------------------------- subnets

template <class Address, class Netmask>
UIPvXSubnet<Address, Netmask> UIPvXSubnet<Address, Netmask>::parse(const CString& text)
{
    UStrings pieces(text, '/', 0);
    if (pieces.getCount() != 2)
        throwInvalid("UIPvXSubnet::parse()", __LINE__, "invalid subnet", text);
    const Address address = Address::parse(CString(pieces.getAt(0)));
    const Netmask netmask = Netmask::parse(CString(pieces.getAt(1)));
    return UIPvXSubnet(address, netmask);
}

template class UIPvXSubnet<UIPv4Address, UIPv4Netmask>;
template class UIPvXSubnet<UIPv6AddressExpanded, UIPv6NetmaskExpanded>;

// ---------------------------------------------------------------- classifier

namespace {

// Characters that can never be part of a host name given in a URL: they would
// change how the URL is read, or make the text ambiguous in logs.
bool hasForbiddenHostCharacter(const CString& host)
{
    for (int i = 0; i < host.GetLength(); ++i) {
        const unsigned char c = static_cast<unsigned char>(host.GetAt(i));
        if (c < 0x20 || c == 0x7F || c == ' ' || c == '/' || c == '\\' || c == '?' || c == '#')
            return true;
    }
    return false;
}

} // namespace

int UIPAddress::Parse(const CString& host)
{
    if (host.IsEmpty())
        return Invalid;

    int result = Invalid;
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, " - EXCEPTION", "Parse"), code, [&] {
        code = 0;
        if (host.FindOneOf(":") < 0) {
            if (hasForbiddenHostCharacter(host))
                return;
            bool ok = false;
            strIPtoDWORD(host, 0, &ok);
            if (ok) {
                result = IPv4;
                return;
            }
            if (!checkCharacterSet(host, "[^:!@$%&*()<>]", 512))
                return;
            // A host name may not begin with "-".
            if (checkCharacterSet(host.Left(1), "[^-]", 0))
                result = HostName;
            return;
        }

        const CString bare = stripChars(host, '[', ']', 1);
        in6_addr scratch;
        if (::inet_pton(AF_INET6, bare, &scratch) == 1) {
            result = IPv6;
            return;
        }
        // Not an address: the parser throws and records why.
        UIPv6AddressExpanded::parse(UIPv6Address::Expand(bare));
    });
    return code == 0 ? result : int(Invalid);
}
