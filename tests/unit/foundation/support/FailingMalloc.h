#pragma once
// Lets a test make the library's own allocations of one size fail. The
// foundation test program is linked with --wrap=malloc, so every malloc of
// the library reaches the wrapper; calls of other sizes, of other threads and
// outside a FailingMalloc's life pass straight through.

#include <cstddef>

namespace tessal {
namespace test {

class FailingMalloc
{
public:
    // Counts the calls for size bytes on this thread; from the failFrom-th
    // call on (counting from 1) each returns null. 0 only counts.
    explicit FailingMalloc(size_t size, int failFrom = 0);
    ~FailingMalloc();
    FailingMalloc(const FailingMalloc&) = delete;
    FailingMalloc& operator=(const FailingMalloc&) = delete;

    int calls() const;
};

} // namespace test
} // namespace tessal
