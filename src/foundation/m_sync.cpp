#include "foundation/m_sync.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UException.h"

#include <cerrno>
#include <cstring>
#include <time.h>

namespace {

const char* const kSourceFile = "/m_sync";

const char* systemText(int error, char* buffer, size_t size)
{
    return strerror_r(error, buffer, size);
}

// A creation failure: "EXCEPTION - %s, %s, %s" with the text, the error
// number and the system's message.
[[noreturn]] void throwCreationFailure(int line, const char* text, int error)
{
    char buffer[256];
    CString number;
    number.Format("%d", error);
    throw UException(-1, kSourceFile, "", line, "EXCEPTION - %s, %s, %s", text, static_cast<const char*>(number),
                     systemText(error, buffer, sizeof(buffer)));
}

// Failures of the other calls are logged and the operation goes on.
void logFailure(int line, const char* text, int error)
{
    if (IUErrorLog* log = ulogFor(ULOG_LEVEL_ERROR)) {
        char buffer[256];
        ulogWriteRecord(log, ULOG_LEVEL_ERROR, kSourceFile, line, "",
                        makeArgFormat("%1, %2, %3", text, error, systemText(error, buffer, sizeof(buffer))));
    }
}

// The absolute deadline now + timeout on the monotonic clock, so that a step
// of the wall clock during the wait neither shortens nor lengthens it.
timespec deadlineAfter(uint32_t timeoutMs)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    timespec deadline;
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(timeoutMs / 1000);
    long nsec = now.tv_nsec + static_cast<long>(timeoutMs % 1000) * 1000000L;
    deadline.tv_sec += nsec / 1000000000L;
    deadline.tv_nsec = nsec % 1000000000L;
    return deadline;
}

void lockPlain(pthread_mutex_t* mutex, int line)
{
    const int rc = pthread_mutex_lock(mutex);
    if (rc != 0)
        logFailure(line, "pthread_mutex_lock - failed to lock mutex", rc);
}

void unlockPlain(pthread_mutex_t* mutex, int line)
{
    const int rc = pthread_mutex_unlock(mutex);
    if (rc != 0)
        logFailure(line, "pthread_mutex_unlock - failed to unlock mutex", rc);
}

void initCondition(pthread_mutex_t* mutex, pthread_cond_t* cond)
{
    int rc = pthread_mutex_init(mutex, nullptr);
    if (rc != 0)
        throwCreationFailure(__LINE__, "pthread_mutex_init - failed to initialize mutex", rc);
    pthread_condattr_t attributes;
    rc = pthread_condattr_init(&attributes);
    if (rc == 0) {
        rc = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC); // the clock of deadlineAfter
        if (rc == 0)
            rc = pthread_cond_init(cond, &attributes);
        pthread_condattr_destroy(&attributes);
    }
    if (rc != 0) {
        pthread_mutex_destroy(mutex);
        throwCreationFailure(__LINE__, "pthread_cond_init - failed to initialize condition variable", rc);
    }
}

void destroyCondition(pthread_mutex_t* mutex, pthread_cond_t* cond)
{
    int rc = pthread_mutex_destroy(mutex);
    if (rc != 0)
        logFailure(__LINE__, "pthread_mutex_destroy - failed to destroy mutex", rc);
    rc = pthread_cond_destroy(cond);
    if (rc != 0)
        logFailure(__LINE__, "pthread_cond_destroy - failed to destroy condition variable", rc);
}

} // namespace

// ---------------------------------------------------------------------------
// UCriticalSection

UCriticalSection::UCriticalSection()
{
    int rc = pthread_mutexattr_init(&m_attr);
    if (rc != 0)
        throwCreationFailure(__LINE__, "pthread_mutexattr_init - failed to initialize mutexattr", rc);
    pthread_mutexattr_settype(&m_attr, PTHREAD_MUTEX_RECURSIVE);
    rc = pthread_mutex_init(&m_mutex, &m_attr);
    if (rc != 0) {
        pthread_mutexattr_destroy(&m_attr);
        throwCreationFailure(__LINE__, "pthread_mutex_init - failed to initialize mutex", rc);
    }
}

UCriticalSection::~UCriticalSection()
{
    int rc = pthread_mutex_destroy(&m_mutex);
    if (rc != 0)
        logFailure(__LINE__, "pthread_mutex_destroy - failed to destroy mutex", rc);
    rc = pthread_mutexattr_destroy(&m_attr);
    if (rc != 0)
        logFailure(__LINE__, "pthread_mutexattr_destroy - failed to destroy mutex attributes", rc);
}

void UCriticalSection::lock()
{
    const int rc = pthread_mutex_lock(&m_mutex);
    if (rc != 0)
        logFailure(__LINE__, "pthread_mutex_lock - failed to lock", rc);
}

void UCriticalSection::unlock()
{
    const int rc = pthread_mutex_unlock(&m_mutex);
    if (rc != 0)
        logFailure(__LINE__, "pthread_mutex_unlock - failed to unlock", rc);
}

bool UCriticalSection::tryLock()
{
    return pthread_mutex_trylock(&m_mutex) == 0;
}

// ---------------------------------------------------------------------------
// UMutex

UMutex::UMutex(bool initiallyOwned)
{
    int rc = pthread_mutexattr_init(&m_attr);
    if (rc != 0)
        throwCreationFailure(__LINE__, "pthread_mutexattr_init - failed to initialize mutexattr", rc);
    rc = pthread_mutexattr_settype(&m_attr, PTHREAD_MUTEX_RECURSIVE);
    if (rc != 0) {
        pthread_mutexattr_destroy(&m_attr);
        throwCreationFailure(__LINE__, "pthread_mutexattr_settype - failed to set PTHREAD_MUTEX_RECURSIVE on mutexattr",
                             rc);
    }
    rc = pthread_mutex_init(&m_mutex, &m_attr);
    if (rc != 0) {
        pthread_mutexattr_destroy(&m_attr);
        throwCreationFailure(__LINE__, "pthread_mutex_init - failed to initialize mutex", rc);
    }
    if (initiallyOwned)
        lock(UINFINITE);
}

UMutex::~UMutex()
{
    int rc = pthread_mutex_destroy(&m_mutex);
    if (rc != 0)
        logFailure(__LINE__, "pthread_mutex_destroy - failed to destroy mutex", rc);
    rc = pthread_mutexattr_destroy(&m_attr);
    if (rc != 0)
        logFailure(__LINE__, "pthread_mutexattr_destroy - failed to destroy mutex attributes", rc);
}

int UMutex::lock(uint32_t timeoutMs)
{
    int rc;
    if (timeoutMs == UINFINITE) {
        rc = pthread_mutex_lock(&m_mutex);
    } else {
        const timespec deadline = deadlineAfter(timeoutMs);
        rc = pthread_mutex_clocklock(&m_mutex, CLOCK_MONOTONIC, &deadline);
    }
    if (rc == 0)
        return UWAIT_OBJECT_0;
    if (rc == ETIMEDOUT)
        return UWAIT_TIMEOUT;
    return UWAIT_FAILED;
}

int UMutex::release()
{
    const int rc = pthread_mutex_unlock(&m_mutex);
    if (rc != 0) {
        logFailure(__LINE__, "pthread_mutex_unlock - failed to release mutex", rc);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// ULockHolder

ULockHolder::ULockHolder(UCriticalSection* section) : m_mutex(nullptr), m_section(section)
{
    if (m_section != nullptr)
        m_section->lock();
}

ULockHolder::ULockHolder(UMutex* mutex) : m_mutex(mutex), m_section(nullptr)
{
    if (m_mutex != nullptr)
        m_mutex->lock(UINFINITE);
}

ULockHolder::~ULockHolder()
{
    // No cancellation point may fire inside a destructor; failures are swallowed.
    int oldState = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldState);
    try {
        if (m_mutex != nullptr)
            m_mutex->release();
        else if (m_section != nullptr)
            m_section->unlock();
    } catch (...) {
    }
    pthread_setcancelstate(oldState, nullptr);
}

// ---------------------------------------------------------------------------
// USemaphore

USemaphore::USemaphore(int initialCount, int maximumCount)
    : m_count(initialCount), m_maximumCount(maximumCount), m_waiting(0)
{
    initCondition(&m_mutex, &m_cond);
}

USemaphore::~USemaphore()
{
    destroyCondition(&m_mutex, &m_cond);
}

int USemaphore::release()
{
    lockPlain(&m_mutex, __LINE__);
    if (m_count < m_maximumCount)
        ++m_count;
    if (m_waiting > 0) {
        const int rc = pthread_cond_signal(&m_cond);
        if (rc != 0)
            logFailure(__LINE__, "pthread_cond_signal - failed signal condition", rc);
    }
    unlockPlain(&m_mutex, __LINE__);
    return 1;
}

int USemaphore::wait(uint32_t timeoutMs)
{
    lockPlain(&m_mutex, __LINE__);
    if (timeoutMs == 0) {
        int result = UWAIT_TIMEOUT;
        if (m_count > 0) {
            --m_count;
            result = UWAIT_OBJECT_0;
        }
        unlockPlain(&m_mutex, __LINE__);
        return result;
    }
    if (m_count <= 0) {
        const timespec deadline = deadlineAfter(timeoutMs);
        ++m_waiting;
        while (m_count <= 0) {
            const int rc = timeoutMs == UINFINITE ? pthread_cond_wait(&m_cond, &m_mutex)
                                                  : pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
            if (rc == ETIMEDOUT && m_count <= 0) {
                --m_waiting;
                unlockPlain(&m_mutex, __LINE__);
                return UWAIT_TIMEOUT;
            }
        }
        --m_waiting;
    }
    --m_count;
    unlockPlain(&m_mutex, __LINE__);
    return UWAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------
// UEvent

UEvent::UEvent(bool manualReset, bool initiallySignalled)
    : m_manualReset(manualReset), m_signalled(initiallySignalled), m_waiting(0)
{
    initCondition(&m_mutex, &m_cond);
}

UEvent::~UEvent()
{
    destroyCondition(&m_mutex, &m_cond);
}

void UEvent::set()
{
    lockPlain(&m_mutex, __LINE__);
    m_signalled = true;
    if (m_waiting > 0) {
        if (m_manualReset) {
            const int rc = pthread_cond_broadcast(&m_cond);
            if (rc != 0)
                logFailure(__LINE__, "pthread_cond_broadcast - failed signal condition", rc);
        } else {
            const int rc = pthread_cond_signal(&m_cond);
            if (rc != 0)
                logFailure(__LINE__, "pthread_cond_signal - failed signal condition", rc);
        }
    }
    unlockPlain(&m_mutex, __LINE__);
}

void UEvent::reset()
{
    lockPlain(&m_mutex, __LINE__);
    m_signalled = false;
    unlockPlain(&m_mutex, __LINE__);
}

int UEvent::wait(uint32_t timeoutMs)
{
    lockPlain(&m_mutex, __LINE__);
    if (timeoutMs == 0) {
        const bool signalled = m_signalled;
        if (signalled && !m_manualReset)
            m_signalled = false;
        unlockPlain(&m_mutex, __LINE__);
        return signalled ? UWAIT_OBJECT_0 : UWAIT_TIMEOUT;
    }
    if (!m_signalled) {
        const timespec deadline = deadlineAfter(timeoutMs);
        ++m_waiting;
        while (!m_signalled) {
            const int rc = timeoutMs == UINFINITE ? pthread_cond_wait(&m_cond, &m_mutex)
                                                  : pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
            if (rc == ETIMEDOUT && !m_signalled) {
                --m_waiting;
                unlockPlain(&m_mutex, __LINE__);
                return UWAIT_TIMEOUT;
            }
        }
        --m_waiting;
    }
    // An automatic-reset event lets exactly one waiter through per set().
    if (!m_manualReset)
        m_signalled = false;
    unlockPlain(&m_mutex, __LINE__);
    return UWAIT_OBJECT_0;
}
