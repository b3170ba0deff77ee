#pragma once
// The library's locks over POSIX threads, with Windows-shaped results: a wait
// gives 0 when it succeeded, 258 when it timed out; a timeout of 0xFFFFFFFF
// means no limit.

#include "foundation/String.h"

#include <cstdint>
#include <pthread.h>

enum : int {
    UWAIT_OBJECT_0 = 0,
    UWAIT_TIMEOUT = 258,
    UWAIT_FAILED = -1,
};
const uint32_t UINFINITE = 0xFFFFFFFFu;

// Recursive lock: the same thread may lock it again and unlocks it as often.
class UCriticalSection
{
public:
    UCriticalSection();
    ~UCriticalSection();
    UCriticalSection(const UCriticalSection&) = delete;
    UCriticalSection& operator=(const UCriticalSection&) = delete;

    void lock();
    void unlock();
    bool tryLock();

private:
    pthread_mutex_t m_mutex;
    pthread_mutexattr_t m_attr;
};

class UMutex
{
public:
    explicit UMutex(bool initiallyOwned = false);
    virtual ~UMutex();
    UMutex(const UMutex&) = delete;
    UMutex& operator=(const UMutex&) = delete;

    // 0 when held, 258 when the time ran out, -1 on any other failure.
    int lock(uint32_t timeoutMs = UINFINITE);
    // 1 on success, 0 on failure.
    int release();

private:
    pthread_mutex_t m_mutex;
    pthread_mutexattr_t m_attr;
};

// Holds a UMutex or a UCriticalSection for the life of the holder.
class ULockHolder
{
public:
    explicit ULockHolder(UCriticalSection* section);
    explicit ULockHolder(UCriticalSection& section) : ULockHolder(&section) {}
    explicit ULockHolder(UMutex* mutex);
    ~ULockHolder();
    ULockHolder(const ULockHolder&) = delete;
    ULockHolder& operator=(const ULockHolder&) = delete;

private:
    UMutex* m_mutex;
    UCriticalSection* m_section;
    CString m_name;
};

class USemaphore
{
public:
    USemaphore(int initialCount, int maximumCount);
    virtual ~USemaphore();
    USemaphore(const USemaphore&) = delete;
    USemaphore& operator=(const USemaphore&) = delete;

    // Raises the count (never past the maximum) and wakes one waiter; returns 1.
    int release();
    // 0 after taking one unit, 258 when none came in time.
    int wait(uint32_t timeoutMs);

private:
    int m_count;
    int m_maximumCount;
    pthread_mutex_t m_mutex;
    pthread_cond_t m_cond;
    int m_waiting;
};

class UEvent
{
public:
    UEvent(bool manualReset, bool initiallySignalled);
    ~UEvent();
    UEvent(const UEvent&) = delete;
    UEvent& operator=(const UEvent&) = delete;

    void set();
    void reset();
    // 0 when signalled (an automatic-reset event is then cleared), 258 on timeout.
    int wait(uint32_t timeoutMs);

private:
    pthread_mutex_t m_mutex;
    pthread_cond_t m_cond;
    bool m_manualReset;
    bool m_signalled;
    int m_waiting;
};
