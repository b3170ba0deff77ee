#pragma once

#include "foundation/String.h"

#include <cstdint>

// Value types for IPv4 and IPv6 addresses, netmasks and subnets parsed from
// text. Every parser throws UException (code -1) on bad input.

// IPv4 address in host byte order, the first number of the dotted form in the
// most significant byte.
class UIPv4Address
{
public:
    UIPv4Address() : m_value(0) {}
    explicit UIPv4Address(uint32_t value) : m_value(value) {}

    static UIPv4Address parse(const CString& text);
    // The dotted form only: four numbers of one to three digits, each at most
    // 255, joined by "."; no sign, blank or anything else around them.
    static bool read(const char* text, uint32_t& value);

    uint32_t value() const { return m_value; }
    bool operator==(const UIPv4Address& other) const { return m_value == other.m_value; }
    bool operator!=(const UIPv4Address& other) const { return m_value != other.m_value; }

private:
    uint32_t m_value;
};

// IPv4 netmask in host byte order: one run of one bits from the top.
class UIPv4Netmask
{
public:
    UIPv4Netmask() : m_value(0) {}

    // A dotted mask or a prefix length.
    static UIPv4Netmask parse(const CString& text);
    // Prefix length 0 to 32.
    static UIPv4Netmask fromCiscoValue(uint32_t prefixLength);

    uint32_t value() const { return m_value; }
    bool operator==(const UIPv4Netmask& other) const { return m_value == other.m_value; }
    bool operator!=(const UIPv4Netmask& other) const { return m_value != other.m_value; }

private:
    explicit UIPv4Netmask(uint32_t value) : m_value(value) {}

    uint32_t m_value;
};

// IPv6 address, 16 bytes in network order.
class UIPv6AddressExpanded
{
public:
    UIPv6AddressExpanded();

    // Only the full eight-group form.
    static UIPv6AddressExpanded parse(const CString& text);

    const unsigned char* bytes() const { return m_bytes; }
    bool operator==(const UIPv6AddressExpanded& other) const;
    bool operator!=(const UIPv6AddressExpanded& other) const { return !(*this == other); }

protected:
    unsigned char m_bytes[16];
};

// IPv6 netmask, 16 bytes in network order: 0xFF bytes, at most one partial
// byte, then zero bytes.
class UIPv6NetmaskExpanded
{
public:
    UIPv6NetmaskExpanded();

    // An eight-group mask or a prefix length.
    static UIPv6NetmaskExpanded parse(const CString& text);
    // Prefix length 0 to 128.
    static UIPv6NetmaskExpanded fromCiscoValue(uint32_t prefixLength);

    const unsigned char* bytes() const { return m_bytes; }
    bool operator==(const UIPv6NetmaskExpanded& other) const;
    bool operator!=(const UIPv6NetmaskExpanded& other) const { return !(*this == other); }

private:
    unsigned char m_bytes[16];
};

// Text-level companion of the IPv6 types.
class UIPv6Address
{
public:
    // Writes out the "::" shorthand; a text without it comes back unchanged.
    static CString Expand(const CString& text);
};

// An address and a netmask parsed from "address/netmask". Host bits may be set.
template <class Address, class Netmask>
class UIPvXSubnet
{
public:
    UIPvXSubnet() = default;
    UIPvXSubnet(const Address& address, const Netmask& netmask) : m_address(address), m_netmask(netmask) {}

    static UIPvXSubnet parse(const CString& text);

    const Address& address() const { return m_address; }
    const Netmask& netmask() const { return m_netmask; }

private:
    Address m_address;
    Netmask m_netmask;
};

using UIPv4Subnet = UIPvXSubnet<UIPv4Address, UIPv4Netmask>;
using UIPv6Subnet = UIPvXSubnet<UIPv6AddressExpanded, UIPv6NetmaskExpanded>;

extern template class UIPvXSubnet<UIPv4Address, UIPv4Netmask>;
extern template class UIPvXSubnet<UIPv6AddressExpanded, UIPv6NetmaskExpanded>;

// Classifies host texts.
class UIPAddress
{
public:
    enum Kind { Invalid = 0, HostName = 1, IPv4 = 2, IPv6 = 3 };

    // 0 empty or invalid, 1 host name, 2 dotted IPv4 address, 3 IPv6 address
    // (with or without enclosing brackets). Never throws.
    static int Parse(const CString& host);
};
