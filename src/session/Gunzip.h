#pragma once
// The HTTP client asks for gzip bodies and inflates them itself.

#include <cstddef>
#include <vector>

namespace tessal {
namespace qt {

// Inflates a gzip body (one or more members). False, with out empty, when
// the data is not gzip or would inflate beyond limit bytes; tooLarge, when
// given, tells the second from the first.
bool gunzip(const std::vector<char>& in, std::vector<char>& out, size_t limit, bool* tooLarge = nullptr);

} // namespace qt
} // namespace tessal
