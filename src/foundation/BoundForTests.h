#pragma once
// A time bound of a minute or more that a test may shorten rather than wait
// out. Builds with tests divide it by TESSAL_TEST_BOUND_DIVISOR (2 to 100)
// when that is set; a release build has no tests and always keeps the bound.

#include <cstdlib>

#include "tessal_config.h"

namespace tessal {

inline int boundForTests(int milliseconds)
{
#if TESSAL_BUILD_TESTS
    static const int divisor = [] {
        const char* text = std::getenv("TESSAL_TEST_BOUND_DIVISOR");
        const int value = text != nullptr ? std::atoi(text) : 1;
        return value >= 2 && value <= 100 ? value : 1;
    }();
    return milliseconds / divisor;
#else
    return milliseconds;
#endif
}

} // namespace tessal
