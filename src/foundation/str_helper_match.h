#pragma once
// Matchers: test a text or a 32-bit number against one pattern of one kind
// (wildcard text, number or number range, IPv4/IPv6 subnet, subnet with
// ports, host name), and UExpressionMatch, which combines many patterns of
// one kind into one expression that matches when any of them matches.
//
// Every matcher is unset until setPattern succeeds; an unset matcher matches
// nothing. Refused patterns are recorded in the log and give -1.

#include <cstdint>

#include "foundation/String.h"
#include "foundation/UClasses.h"

class URootMatch : public UObject
{
public:
    URootMatch();
    ~URootMatch() override;

    // 0 when the pattern is accepted, otherwise the failure's code.
    virtual int setPattern(const char* pattern) = 0;
    virtual const char* getPattern() const;
    virtual bool match(const char* text) const = 0;
    virtual bool match(uint32_t value) const = 0;
    // Rewrites one expression item into one or more items, each followed by
    // separator; here a plain copy.
    virtual int normalize(const char* in, CString& out, char separator) const;
    virtual CString toString() const;

protected:
    CString m_pattern;
};

// '*' stands for any run of characters, everything else for itself
// (case-sensitive). Every text is an accepted pattern.
class UPatternMatch : public URootMatch
{
public:
    UPatternMatch();
    explicit UPatternMatch(const char* pattern);

    int setPattern(const char* pattern) override;
    bool match(const char* text) const override;
    // The number written as unsigned decimal, then matched as a text.
    bool match(uint32_t value) const override;

private:
    int m_state;
    UStrings m_pieces; // literal runs, and every '*' as an item of its own
};

// One number "N" or a range "N-M" (M not below N), each within the allowed
// range (0 .. 0xFFFFFFFF unless narrowed).
class UDWORDMatch : public URootMatch
{
public:
    UDWORDMatch();
    explicit UDWORDMatch(const char* pattern);

    int setPattern(const char* pattern) override;
    bool match(const char* text) const override;
    bool match(uint32_t value) const override;

    // Applies to the next setPattern.
    void setAllowedRange(uint32_t smallest, uint32_t largest);

    int getKind() const { return m_kind; }

private:
    int m_kind; // -1 unset, 1 single value, 2 range
    uint32_t m_low;
    uint32_t m_high;
    uint32_t m_largest;
    uint32_t m_smallest;
};

// "address/mask" (dotted mask or prefix length); host byte order.
class UIPSubnetMatch : public URootMatch
{
public:
    UIPSubnetMatch();
    explicit UIPSubnetMatch(const char* pattern);

    int setPattern(const char* pattern) override;
    bool match(const char* text) const override;
    bool match(uint32_t value) const override;

    uint32_t getNetwork() const { return m_network; }

private:
    int m_state;
    uint32_t m_network; // already masked
    uint32_t m_mask;
};

// "address/mask" with the address in its full eight-group form and the mask
// as eight groups or a prefix length. Numbers never match.
class UIP6SubnetMatch : public URootMatch
{
public:
    UIP6SubnetMatch();
    explicit UIP6SubnetMatch(const char* pattern);

    int setPattern(const char* pattern) override;
    // Any standard IPv6 text; other texts are recorded and give false.
    bool match(const char* text) const override;
    bool match(uint32_t value) const override;

    const unsigned char* getNetwork() const { return m_network; }

private:
    int m_state;
    unsigned char m_network[16];
    unsigned char m_mask[16];
};

// An IPv4 subnet, optionally followed by ':' and a port or port range
// (1 .. 65535). Texts are "address:port"; numbers never match.
class UTCPMatch : public URootMatch
{
public:
    UTCPMatch();
    explicit UTCPMatch(const char* pattern);

    int setPattern(const char* pattern) override;
    bool match(const char* text) const override;
    bool match(uint32_t value) const override;
    // "net:p1,p2" becomes "net:p1<sep>net:p2<sep>".
    int normalize(const char* in, CString& out, char separator) const override;

private:
    void parse(const char* pattern, CString& address, CString& mask, CString& ports) const;

    UDWORDMatch m_port;
    UIPSubnetMatch m_network;
    int m_state; // -1 unset, 1 network only, 2 network and port
};

// "[address/prefix]:ports"; texts are "[address]:port". A text whose network
// part does not begin with '[' is refused with a UException to the caller.
class UTCP6Match : public URootMatch
{
public:
    UTCP6Match();
    explicit UTCP6Match(const char* pattern);

    int setPattern(const char* pattern) override;
    bool match(const char* text) const override;
    bool match(uint32_t value) const override;
    int normalize(const char* in, CString& out, char separator) const override;

private:
    UDWORDMatch m_port;
    UIP6SubnetMatch m_network;
    int m_state; // -1 unset, 1 network only, 2 network and port
};

// A host wildcard, optionally followed by ':' and ports (which are only
// counted). Host names compare without regard to case.
class UDNSMatch : public URootMatch
{
public:
    UDNSMatch();
    explicit UDNSMatch(const char* pattern);

    int setPattern(const char* pattern) override;
    bool match(const char* text) const override;
    bool match(uint32_t value) const override;
    int normalize(const char* in, CString& out, char separator) const override;

private:
    UPatternMatch m_host;
    int m_state;
};

// Many patterns of one kind, separated by a character (';' by default);
// matches when any of them matches. Owns its matchers.
class UExpressionMatch
{
public:
    enum Kind : uint32_t {
        PatternKind = 0,
        DWORDKind = 1,
        IPSubnetKind = 2,
        TCPKind = 3,
        DNSKind = 4,
        TCP6Kind = 5,
    };

    UExpressionMatch();
    // A wildcard-text expression separated by ';'.
    explicit UExpressionMatch(const char* expression);
    ~UExpressionMatch();
    UExpressionMatch(const UExpressionMatch&) = delete;
    UExpressionMatch& operator=(const UExpressionMatch&) = delete;

    // A new matcher of the kind built with pattern (null: unset); throws
    // "unknown type" for another kind and "invalid pattern" for a refused one.
    static URootMatch* createMatchObject(uint32_t kind, const char* pattern);

    // 0 on success. A failure leaves no matcher behind.
    int setExpression(const char* expression, uint32_t kind, char separator);

    bool match(const char* text) const;
    bool match(uint32_t value) const;
    // Clears out and appends the pattern of every matcher that matches.
    bool match(const char* text, UStrings& out) const;
    bool match(uint32_t value, UStrings& out) const;

    int getKind() const { return m_kind; }
    const CString& getExpression() const { return m_expression; }
    const UList& getMatchers() const { return m_matchers; }

private:
    void clear();

    int m_kind; // -1 until an expression is set
    UList m_matchers;
    CString m_expression;
};
