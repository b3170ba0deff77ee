#include "foundation/str_helper_match.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/UIPAddress.h"
#include "foundation/m_strings.h"
#include "foundation/str_helper.h"

namespace {

const char kFile[] = "/str_helper";

// Network-with-port pattern: "[address/prefix] : ports", nothing after.
const char kTCP6Format[] = "[%39[^/]/%39[^]]] : %99[ 0-9,-]%10s";

[[noreturn]] void refuse(int line, const char* function, const char* what, const char* pattern)
{
    throw UException(-1, kFile, function, line, "EXCEPTION - %s, %s", what, pattern != nullptr ? pattern : "");
}
#define UMATCH_REFUSE(function, what, pattern) refuse(__LINE__, (function), (what), (pattern))

const char* textOf(const char* text)
{
    return text != nullptr ? text : "";
}

// The pieces of text between separators, blanks trimmed, empty ones dropped
// unless kept.
std::vector<CString> pieces(const char* text, char separator, bool keepEmpty = false)
{
    std::vector<CString> out;
    if (keepEmpty) {
        const char* start = textOf(text);
        for (;;) {
            const char* end = std::strchr(start, separator);
            CString piece = end != nullptr ? CString(start, static_cast<int>(end - start)) : CString(start);
            piece.TrimLeft();
            piece.TrimRight();
            out.push_back(piece);
            if (end == nullptr)
                return out;
            start = end + 1;
        }
    }
    UStrings split(text, separator, 2);
    for (int i = 0; i < split.getCount(); ++i) {
        const char* piece = split.getAt(i);
        if (*piece != '\0')
            out.emplace_back(piece);
    }
    return out;
}

CString dottedText(uint32_t value)
{
    return formatString("%u.%u.%u.%u", (value >> 24) & 0xFFu, (value >> 16) & 0xFFu, (value >> 8) & 0xFFu,
                        value & 0xFFu);
}

// Reads a whole unsigned 32-bit number; signs, ranges and text around it
// refused.
bool readNumber(const char* text, uint32_t& value)
{
    if (text == nullptr || std::strchr(text, '-') != nullptr)
        return false;
    // No 32-bit number has more: a longer text is refused before the
    // conversion, which would record every such text it sees.
    int digits = 0;
    for (const char* p = text; *p != '\0'; ++p)
        if (*p >= '0' && *p <= '9' && ++digits > 10)
            return false;
    bool ok = false;
    const int64_t read = toINT64(text, 0, &ok);
    if (!ok || read < 0 || read > 0xFFFFFFFFLL)
        return false;
    value = static_cast<uint32_t>(read);
    return true;
}

// "host:p1,p2" into "host:p1<sep>host:p2<sep>"; a single piece stays as it is.
int normalizePortList(const char* in, CString& out, char separator, const char* tag, const char* function, bool lower,
                      bool keepEmpty)
{
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, tag, "normalize"), code, [&] {
        out.Empty();
        const std::vector<CString> parts = pieces(in, ':', keepEmpty);
        if (parts.size() <= 1) {
            out = textOf(in);
            code = 0;
            return;
        }
        if (parts.size() > 2)
            UMATCH_REFUSE(function, "wrong pattern", in);
        const std::vector<CString> ports = pieces(parts[1], ',');
        // An item whose port list holds no port would vanish from the expression.
        if (ports.empty())
            UMATCH_REFUSE(function, "wrong pattern", in);
        for (const CString& port : ports) {
            out += formatString("%s:%s", static_cast<const char*>(parts[0]), static_cast<const char*>(port));
            out += separator;
        }
        if (lower)
            out = asciiLowered(static_cast<const char*>(out)).c_str();
        code = 0;
    });
    if (code != 0)
        out.Empty();
    return code;
}

} // namespace

// ---------------------------------------------------------------------------
// URootMatch

URootMatch::URootMatch() = default;
URootMatch::~URootMatch() = default;

const char* URootMatch::getPattern() const
{
    return m_pattern;
}

int URootMatch::normalize(const char* in, CString& out, char /*separator*/) const
{
    out = textOf(in);
    return 0;
}

CString URootMatch::toString() const
{
    return CString(URootMatch::getPattern());
}

// ---------------------------------------------------------------------------
// UPatternMatch

UPatternMatch::UPatternMatch() : m_state(-1) {}

UPatternMatch::UPatternMatch(const char* pattern) : m_state(-1)
{
    if (pattern != nullptr)
        setPattern(pattern);
}

int UPatternMatch::setPattern(const char* pattern)
{
    m_state = -1;
    m_pattern = textOf(pattern);
    m_pieces.split(m_pattern, '*', 1);
    m_state = 1;
    return 0;
}

bool UPatternMatch::match(const char* text) const
{
    if (m_state < 0 || text == nullptr)
        return false;
    const char* position = text;
    bool anchored = true;
    bool lastWasStar = false;
    const int count = m_pieces.getCount();
    for (int i = 0; i < count; ++i) {
        const char* piece = m_pieces.getAt(i);
        if (std::strcmp(piece, "*") == 0) {
            anchored = false;
            lastWasStar = true;
            continue;
        }
        lastWasStar = false;
        const size_t length = std::strlen(piece);
        if (i == count - 1 && !anchored) {
            // The last literal after a '*' closes the text.
            const size_t remaining = std::strlen(position);
            return remaining >= length && std::strcmp(position + remaining - length, piece) == 0;
        }
        const char* found = std::strstr(position, piece);
        if (found == nullptr || (anchored && found != position))
            return false;
        position = found + length;
        anchored = true;
    }
    return lastWasStar || *position == '\0';
}

bool UPatternMatch::match(uint32_t value) const
{
    return match(static_cast<const char*>(formatString("%u", value)));
}

// ---------------------------------------------------------------------------
// UDWORDMatch

UDWORDMatch::UDWORDMatch() : m_kind(-1), m_low(0), m_high(0), m_largest(0xFFFFFFFFu), m_smallest(0) {}

UDWORDMatch::UDWORDMatch(const char* pattern) : UDWORDMatch()
{
    if (pattern != nullptr && setPattern(pattern) != 0)
        UMATCH_REFUSE("UDWORDMatch::UDWORDMatch()", "invalid pattern", pattern);
}

void UDWORDMatch::setAllowedRange(uint32_t smallest, uint32_t largest)
{
    m_smallest = smallest;
    m_largest = largest;
}

int UDWORDMatch::setPattern(const char* pattern)
{
    m_kind = -1;
    m_pattern.Empty();
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UDWORDMatch::setPattern() - EXCEPTION", "_setPattern"), code, [&] {
        const CString text(textOf(pattern));
        const int dash = text.Find('-');
        if (dash >= 0 && text.Find('-', dash + 1) >= 0)
            UMATCH_REFUSE("UDWORDMatch::setPattern()", "invalid pattern", text);
        const CString first = dash >= 0 ? text.Left(dash) : text;
        uint32_t low = 0;
        if (!readNumber(first, low) || low < m_smallest || low > m_largest)
            UMATCH_REFUSE("UDWORDMatch::setPattern()", "invalid pattern", text);
        uint32_t high = low;
        if (dash >= 0) {
            if (!readNumber(text.Mid(dash + 1), high) || high < m_smallest || high > m_largest || high < low)
                UMATCH_REFUSE("UDWORDMatch::setPattern()", "invalid pattern", text);
        }
        m_low = low;
        m_high = high;
        m_pattern = text;
        m_kind = dash >= 0 ? 2 : 1;
        code = 0;
    });
    return code;
}

bool UDWORDMatch::match(const char* text) const
{
    uint32_t value = 0;
    return m_kind >= 0 && readNumber(text, value) && match(value);
}

bool UDWORDMatch::match(uint32_t value) const
{
    if (m_kind == 1)
        return value == m_low;
    if (m_kind == 2)
        return m_low <= value && value <= m_high;
    return false;
}

// ---------------------------------------------------------------------------
// UIPSubnetMatch

UIPSubnetMatch::UIPSubnetMatch() : m_state(-1), m_network(0), m_mask(0) {}

UIPSubnetMatch::UIPSubnetMatch(const char* pattern) : UIPSubnetMatch()
{
    if (pattern != nullptr && setPattern(pattern) != 0)
        UMATCH_REFUSE("UIPSubnetMatch::UIPSubnetMatch()", "invalid pattern", pattern);
}

int UIPSubnetMatch::setPattern(const char* pattern)
{
    m_state = -1;
    m_pattern.Empty();
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UIPSubnetMatch::setPattern() - EXCEPTION", "_setPattern"), code, [&] {
        const CString text(textOf(pattern));
        const UIPv4Subnet subnet = UIPv4Subnet::parse(text);
        m_mask = subnet.netmask().value();
        m_network = subnet.address().value() & m_mask;
        m_pattern = text;
        m_state = 1;
        code = 0;
    });
    return code;
}

bool UIPSubnetMatch::match(const char* text) const
{
    if (m_state < 0)
        return false;
    uint32_t address = 0;
    return UIPv4Address::read(text, address) && match(address);
}

bool UIPSubnetMatch::match(uint32_t value) const
{
    return m_state >= 0 && (value & m_mask) == m_network;
}

// ---------------------------------------------------------------------------
// UIP6SubnetMatch

UIP6SubnetMatch::UIP6SubnetMatch() : m_state(-1), m_network(), m_mask() {}

UIP6SubnetMatch::UIP6SubnetMatch(const char* pattern) : UIP6SubnetMatch()
{
    if (pattern != nullptr && setPattern(pattern) != 0)
        UMATCH_REFUSE("UIP6SubnetMatch::UIP6SubnetMatch()", "invalid pattern", pattern);
}

int UIP6SubnetMatch::setPattern(const char* pattern)
{
    m_state = -1;
    m_pattern.Empty();
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UIP6SubnetMatch::setPattern() - EXCEPTION", "_setPattern"), code, [&] {
        const CString text(textOf(pattern));
        const UIPv6Subnet subnet = UIPv6Subnet::parse(text);
        for (int i = 0; i < 16; ++i) {
            m_mask[i] = subnet.netmask().bytes()[i];
            m_network[i] = static_cast<unsigned char>(subnet.address().bytes()[i] & m_mask[i]);
        }
        m_pattern = text;
        m_state = 1;
        code = 0;
    });
    return code;
}

bool UIP6SubnetMatch::match(const char* text) const
{
    if (m_state < 0)
        return false;
    unsigned char address[16];
    if (text == nullptr || inet_pton(AF_INET6, text, address) != 1) {
        ULOG_ERROR(kFile, "UIP6SubnetMatch::match()", makeArgFormat("%1, %2", "invalid ip", textOf(text)));
        return false;
    }
    for (int i = 0; i < 16; ++i) {
        if ((address[i] & m_mask[i]) != m_network[i])
            return false;
    }
    return true;
}

bool UIP6SubnetMatch::match(uint32_t /*value*/) const
{
    return false;
}

// ---------------------------------------------------------------------------
// UTCPMatch

UTCPMatch::UTCPMatch() : m_state(-1)
{
    m_port.setAllowedRange(1, 65535);
}

UTCPMatch::UTCPMatch(const char* pattern) : UTCPMatch()
{
    if (pattern != nullptr && setPattern(pattern) != 0)
        UMATCH_REFUSE("UTCPMatch::UTCPMatch()", "invalid pattern", pattern);
}

void UTCPMatch::parse(const char* pattern, CString& address, CString& mask, CString& ports) const
{
    // An empty piece ("net::80") is a piece too, so such a pattern is refused.
    const std::vector<CString> parts = pieces(pattern, ':', true);
    if (parts.empty() || parts.size() > 2)
        UMATCH_REFUSE("UTCPMatch::parse()", "invalid pattern", pattern);
    UIPv4Subnet subnet;
    try {
        subnet = UIPv4Subnet::parse(parts[0]);
    } catch (const UException&) {
        UMATCH_REFUSE("UTCPMatch::parse()", "invalid pattern", pattern);
    }
    address = dottedText(subnet.address().value());
    mask = dottedText(subnet.netmask().value());
    ports = parts.size() == 2 ? parts[1] : CString();
}

int UTCPMatch::setPattern(const char* pattern)
{
    m_state = -1;
    m_pattern = textOf(pattern);
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UTCPMatch::setPattern() - EXCEPTION", "_setPattern"), code, [&] {
        const CString text(textOf(pattern));
        CString address, mask, ports;
        parse(text, address, mask, ports);
        if (m_network.setPattern(makeArgFormat("%1/%2", address, mask).str()) != 0)
            UMATCH_REFUSE("UTCPMatch::setPattern()", "invalid network part", text);
        int state = 1;
        if (ports.IsEmpty()) {
            if (text.Find(':') >= 0)
                UMATCH_REFUSE("UTCPMatch::setPattern()", "missing port part", text);
        } else {
            m_port.setAllowedRange(1, 65535);
            if (m_port.setPattern(ports) != 0)
                UMATCH_REFUSE("UTCPMatch::setPattern()", "invalid port part", text);
            state = 2;
        }
        m_state = state;
        code = 0;
    });
    return code;
}

bool UTCPMatch::match(const char* text) const
{
    if (m_state < 0 || text == nullptr)
        return false;
    const std::vector<CString> parts = pieces(text, ':', true);
    if (parts.size() != 2 || parts[1].IsEmpty() || !m_network.match(static_cast<const char*>(parts[0])))
        return false;
    return m_state == 1 || m_port.match(static_cast<const char*>(parts[1]));
}

bool UTCPMatch::match(uint32_t /*value*/) const
{
    return false;
}

int UTCPMatch::normalize(const char* in, CString& out, char separator) const
{
    return normalizePortList(in, out, separator, "UTCPMatch::normalize() - EXCEPTION", "UTCPMatch::normalize()", false,
                             true);
}

// ---------------------------------------------------------------------------
// UTCP6Match

UTCP6Match::UTCP6Match() : m_state(-1)
{
    m_port.setAllowedRange(1, 65535);
}

UTCP6Match::UTCP6Match(const char* pattern) : UTCP6Match()
{
    if (pattern != nullptr && setPattern(pattern) != 0)
        UMATCH_REFUSE("UTCP6Match::UTCP6Match()", "invalid pattern", pattern);
}

int UTCP6Match::setPattern(const char* pattern)
{
    m_state = -1;
    m_pattern = textOf(pattern);
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UTCP6Match::setPattern() - EXCEPTION", "_setPattern"), code, [&] {
        const CString text(textOf(pattern));
        char address[40] = {};
        char prefix[40] = {};
        char ports[100] = {};
        char rest[11] = {};
        if (std::sscanf(text, kTCP6Format, address, prefix, ports, rest) != 3)
            UMATCH_REFUSE("UTCP6Match::setPattern()", "failed to parse", text);
        if (m_network.setPattern(makeArgFormat("%1/%2", address, prefix).str()) != 0)
            UMATCH_REFUSE("UTCP6Match::setPattern()", "invalid network part", text);
        CString portText(ports);
        portText.TrimLeft();
        portText.TrimRight();
        if (portText.IsEmpty())
            UMATCH_REFUSE("UTCP6Match::setPattern()", "missing port part", text);
        m_port.setAllowedRange(1, 65535);
        if (m_port.setPattern(portText) != 0)
            UMATCH_REFUSE("UTCP6Match::setPattern()", "invalid port part", text);
        m_state = 2;
        code = 0;
    });
    return code;
}

bool UTCP6Match::match(const char* text) const
{
    if (m_state < 0 || text == nullptr)
        return false;
    UStrings parts(text, ']', 0);
    if (parts.getCount() != 2)
        return false;
    CString network(parts.getAt(0));
    network.TrimLeft();
    network.TrimRight();
    if (network.IsEmpty() || network[0] != '[')
        UMATCH_REFUSE("UTCP6Match::match()", "invalid network part format", text);
    if (!m_network.match(static_cast<const char*>(network.Mid(1))))
        return false;
    if (m_state != 2)
        return true;
    const char* port = parts.getAt(1);
    return port[0] == ':' && m_port.match(port + 1);
}

bool UTCP6Match::match(uint32_t /*value*/) const
{
    return false;
}

int UTCP6Match::normalize(const char* in, CString& out, char separator) const
{
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UTCP6Match::normalize() - EXCEPTION", "normalize"), code, [&] {
        out.Empty();
        char address[40] = {};
        char prefix[40] = {};
        char ports[100] = {};
        char rest[11] = {};
        if (in == nullptr || std::sscanf(in, kTCP6Format, address, prefix, ports, rest) != 3)
            UMATCH_REFUSE("UTCP6Match::normalize()", "wrong pattern", in);
        const std::vector<CString> list = pieces(ports, ',');
        if (list.empty())
            UMATCH_REFUSE("UTCP6Match::normalize()", "wrong pattern", in);
        for (const CString& port : list) {
            out += formatString("[%s/%s]:%s", address, prefix, static_cast<const char*>(port));
            out += separator;
        }
        code = 0;
    });
    if (code != 0)
        out.Empty();
    return code;
}

// ---------------------------------------------------------------------------
// UDNSMatch

UDNSMatch::UDNSMatch() : m_state(-1) {}

UDNSMatch::UDNSMatch(const char* pattern) : UDNSMatch()
{
    if (pattern != nullptr && setPattern(pattern) != 0)
        UMATCH_REFUSE("UDNSMatch::UDNSMatch()", "invalid pattern", pattern);
}

int UDNSMatch::setPattern(const char* pattern)
{
    m_state = -1;
    m_pattern = textOf(pattern);
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UDNSMatch::setPattern() - EXCEPTION", "_setPattern"), code, [&] {
        const CString text(textOf(pattern));
        const std::vector<CString> parts = pieces(text, ':');
        if (parts.empty() || parts.size() > 2)
            UMATCH_REFUSE("UDNSMatch::setPattern()", "invalid pattern", text);
        // Texts are lowercased before matching, so the host part is too:
        // otherwise a capital letter in the pattern could never match.
        const CString host(asciiLowered(static_cast<const char*>(parts[0])).c_str());
        if (m_host.setPattern(host) != 0)
            UMATCH_REFUSE("UDNSMatch::setPattern()", "invalid host part", text);
        m_state = static_cast<int>(parts.size());
        code = 0;
    });
    return code;
}

bool UDNSMatch::match(const char* text) const
{
    if (m_state < 0 || text == nullptr)
        return false;
    const CString lower(asciiLowered(text).c_str());
    return m_host.match(static_cast<const char*>(lower));
}

bool UDNSMatch::match(uint32_t /*value*/) const
{
    return false;
}

int UDNSMatch::normalize(const char* in, CString& out, char separator) const
{
    return normalizePortList(in, out, separator, "UDNSMatch::normalize() - EXCEPTION", "UDNSMatch::normalize()", true,
                             false);
}

// ---------------------------------------------------------------------------
// UExpressionMatch

UExpressionMatch::UExpressionMatch() : m_kind(-1) {}

UExpressionMatch::UExpressionMatch(const char* expression) : m_kind(-1)
{
    setExpression(expression, PatternKind, ';');
}

UExpressionMatch::~UExpressionMatch()
{
    m_matchers.deleteObjects();
}

void UExpressionMatch::clear()
{
    m_kind = -1;
    m_matchers.deleteObjects();
    m_expression.Empty();
}

URootMatch* UExpressionMatch::createMatchObject(uint32_t kind, const char* pattern)
{
    switch (kind) {
    case PatternKind: return new UPatternMatch(pattern);
    case DWORDKind: return new UDWORDMatch(pattern);
    case IPSubnetKind: return new UIPSubnetMatch(pattern);
    case TCPKind: return new UTCPMatch(pattern);
    case DNSKind: return new UDNSMatch(pattern);
    case TCP6Kind: return new UTCP6Match(pattern);
    default: break;
    }
    throw UException(-1, kFile, "UExpressionMatch::createMatchObject()", __LINE__, "EXCEPTION - %s, %s", "unknown type",
                     static_cast<const char*>(formatString("%u", kind)));
}

int UExpressionMatch::setExpression(const char* expression, uint32_t kind, char separator)
{
    clear();
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "UExpressionMatch::setExpression() - EXCEPTION", "setExpression"), code, [&] {
        const std::unique_ptr<URootMatch> normalizer(createMatchObject(kind, nullptr));
        CString normalized;
        for (const CString& item : pieces(textOf(expression), separator)) {
            CString out;
            if (normalizer->normalize(item, out, separator) != 0)
                throw UException(-1, kFile, "UExpressionMatch::setExpression()", __LINE__, "EXCEPTION - %s",
                                 "normalize() failed");
            normalized += out;
            normalized += separator;
        }
        for (const CString& item : pieces(normalized, separator)) {
            std::unique_ptr<URootMatch> matcher(createMatchObject(kind, item));
            // The list answers its new count; anything else means the
            // pattern was not added and the expression would lack it.
            const int before = m_matchers.getCount();
            if (m_matchers.addObject(matcher.get()) != before + 1)
                throw UException(-1, kFile, "UExpressionMatch::setExpression()", __LINE__, "EXCEPTION - %s, %s",
                                 "addObject() failed", static_cast<const char*>(item));
            matcher.release();
        }
        m_expression = normalized;
        m_kind = static_cast<int>(kind);
        code = 0;
    });
    // A half-built expression would still match on the items read so far.
    if (code != 0)
        clear();
    return code;
}

bool UExpressionMatch::match(const char* text) const
{
    for (int i = 0; i < m_matchers.getCount(); ++i) {
        const URootMatch* matcher = static_cast<const URootMatch*>(m_matchers.getObject(i));
        if (matcher != nullptr && matcher->match(text))
            return true;
    }
    return false;
}

bool UExpressionMatch::match(uint32_t value) const
{
    for (int i = 0; i < m_matchers.getCount(); ++i) {
        const URootMatch* matcher = static_cast<const URootMatch*>(m_matchers.getObject(i));
        if (matcher != nullptr && matcher->match(value))
            return true;
    }
    return false;
}

bool UExpressionMatch::match(const char* text, UStrings& out) const
{
    out.clear();
    bool any = false;
    for (int i = 0; i < m_matchers.getCount(); ++i) {
        const URootMatch* matcher = static_cast<const URootMatch*>(m_matchers.getObject(i));
        if (matcher != nullptr && matcher->match(text)) {
            out.add(matcher->getPattern());
            any = true;
        }
    }
    return any;
}

bool UExpressionMatch::match(uint32_t value, UStrings& out) const
{
    out.clear();
    bool any = false;
    for (int i = 0; i < m_matchers.getCount(); ++i) {
        const URootMatch* matcher = static_cast<const URootMatch*>(m_matchers.getObject(i));
        if (matcher != nullptr && matcher->match(value)) {
            out.add(matcher->getPattern());
            any = true;
        }
    }
    return any;
}
