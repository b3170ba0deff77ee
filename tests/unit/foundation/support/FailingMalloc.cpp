#include "FailingMalloc.h"

#include <cstdlib>

namespace {

thread_local bool t_armed = false;
thread_local size_t t_size = 0;
thread_local int t_failFrom = 0;
thread_local int t_calls = 0;

} // namespace

extern "C" void* __real_malloc(size_t size);

extern "C" void* __wrap_malloc(size_t size)
{
    if (t_armed && size == t_size && ++t_calls >= t_failFrom && t_failFrom > 0)
        return nullptr;
    return __real_malloc(size);
}

namespace tessal {
namespace test {

FailingMalloc::FailingMalloc(size_t size, int failFrom)
{
    t_size = size;
    t_failFrom = failFrom;
    t_calls = 0;
    t_armed = true;
}

FailingMalloc::~FailingMalloc()
{
    t_armed = false;
}

int FailingMalloc::calls() const
{
    return t_calls;
}

} // namespace test
} // namespace tessal
