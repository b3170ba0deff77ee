#pragma once
// The upper-case hex form of a text, as the svpn start text carries its
// values.

#include <cstdio>
#include <string>

namespace tessal {
namespace test {

inline std::string hex(const std::string& text)
{
    std::string out;
    char digits[3];
    for (unsigned char c : text) {
        std::snprintf(digits, sizeof digits, "%02X", c);
        out += digits;
    }
    return out;
}

} // namespace test
} // namespace tessal
