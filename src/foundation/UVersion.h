#pragma once

#include "foundation/String.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Dotted version number of a fixed number of unsigned 16-bit parts, compared
// part by part. Ask isValid first: the constructor throws.
class UVersion
{
public:
    // Throws UException when text does not give exactly count parts.
    UVersion(const CString& text, size_t count);

    static bool isValid(const CString& text, size_t count);
    // On success replaces parts with exactly count values; on failure leaves
    // them alone and stores the reason.
    static bool parse(const CString& text, std::vector<uint16_t>& parts, CString& reason, size_t count);

    const std::vector<uint16_t>& parts() const { return m_parts; }

    bool operator==(const UVersion& other) const { return m_parts == other.m_parts; }
    bool operator!=(const UVersion& other) const { return m_parts != other.m_parts; }
    bool operator<(const UVersion& other) const { return m_parts < other.m_parts; }
    bool operator>(const UVersion& other) const { return other.m_parts < m_parts; }
    bool operator<=(const UVersion& other) const { return !(other.m_parts < m_parts); }
    bool operator>=(const UVersion& other) const { return !(m_parts < other.m_parts); }

private:
    std::vector<uint16_t> m_parts;
};
