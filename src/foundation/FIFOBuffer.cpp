#include "foundation/FIFOBuffer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"

namespace {

const char kFile[] = "/FIFOBuffer";

// The buffer's own lock for one operation.
class Hold
{
public:
    explicit Hold(CFIFOBuffer& buffer) : m_buffer(buffer) { m_buffer.lock(); }
    ~Hold() { m_buffer.unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    CFIFOBuffer& m_buffer;
};

[[noreturn]] void refuseLength(int line, const char* function, const char* what, int have, size_t length)
{
    throw UException(-1, kFile, function, line, "EXCEPTION - %s, %s, %s", what,
                     static_cast<const char*>(formatString("%d", have)),
                     static_cast<const char*>(formatString("%ld", static_cast<long>(length))));
}

[[noreturn]] void refuseNull(int line, const char* function, const char* what)
{
    throw UException(-1, kFile, function, line, "EXCEPTION - %s", what);
}

} // namespace

// ---------------------------------------------------------------------------
// CStream

CStream::CStream() = default;
CStream::~CStream() = default;

// ---------------------------------------------------------------------------
// CFIFOBuffer

CFIFOBuffer::CFIFOBuffer() : CFIFOBuffer(kDefaultCapacity) {}

CFIFOBuffer::CFIFOBuffer(int capacity)
    : m_lockDepth(0), m_data(nullptr), m_iHead(0), m_iTail(0), m_iSize(1), m_owner(std::thread::id())
{
    Init(capacity);
}

CFIFOBuffer::~CFIFOBuffer() = default;

void CFIFOBuffer::Init(int capacity)
{
    Hold hold(*this);
    m_iHead = 0;
    m_iTail = 0;
    m_iSize = 1;
    m_data = nullptr;
    int error = 0;
    // size = capacity + 1 must stay a positive 32-bit index.
    if (capacity < 0 || capacity >= INT_MAX) {
        m_storage.free();
        error = EINVAL;
    } else {
        try {
            errno = 0;
            m_data = static_cast<unsigned char*>(m_storage.malloc(capacity + 1, 1));
            m_iSize = capacity + 1;
        } catch (const UException&) {
            error = errno != 0 ? errno : ENOMEM;
        } catch (const std::bad_alloc&) {
            error = ENOMEM;
        }
    }
    if (error != 0) {
        // Capacity 0: no operation with a length above 0 can reach the storage.
        m_data = nullptr;
        m_iSize = 1;
        ULOG_WARNING(kFile, "CFIFOBuffer::Init",
                     makeArgFormat("Failed to allocate memory (size: %1, error: %2)", capacity, error));
    }
}

int CFIFOBuffer::storedCount() const
{
    const int64_t stored = static_cast<int64_t>(m_iHead) - m_iTail;
    return static_cast<int>(stored >= 0 ? stored : stored + m_iSize);
}

int CFIFOBuffer::count()
{
    Hold hold(*this);
    return storedCount();
}

int CFIFOBuffer::freeSpace()
{
    Hold hold(*this);
    return m_iSize - 1 - storedCount();
}

void CFIFOBuffer::clear()
{
    Hold hold(*this);
    m_iHead = 0;
    m_iTail = 0;
}

void CFIFOBuffer::copyOut(void* destination, size_t length) const
{
    if (length == 0)
        return;
    const size_t first = std::min(length, static_cast<size_t>(m_iSize - m_iTail));
    std::memcpy(destination, m_data + m_iTail, first);
    if (length > first)
        std::memcpy(static_cast<unsigned char*>(destination) + first, m_data, length - first);
}

int CFIFOBuffer::push(const void* source, size_t length)
{
    Hold hold(*this);
    int result = -1;
    guardOperation(
        UCATCH_SITE(kFile, "CFIFOBuffer::push - exception", "push"), result,
        [&] {
            const int space = m_iSize - 1 - storedCount();
            if (static_cast<size_t>(space) < length)
                refuseLength(__LINE__, "CFIFOBuffer::push", "free space < length (free space, length)", space, length);
            if (length > 0 && source == nullptr)
                refuseNull(__LINE__, "CFIFOBuffer::push", "a_buffer is NULL");
            if (length > 0) {
                const size_t first = std::min(length, static_cast<size_t>(m_iSize - m_iHead));
                std::memcpy(m_data + m_iHead, source, first);
                if (length > first)
                    std::memcpy(m_data, static_cast<const unsigned char*>(source) + first, length - first);
            }
            m_iHead = static_cast<int32_t>((static_cast<int64_t>(m_iHead) + static_cast<int64_t>(length)) % m_iSize);
            result = static_cast<int>(length);
        },
        0);
    return result;
}

int CFIFOBuffer::pop(void* destination, size_t length)
{
    Hold hold(*this);
    int result = -1;
    guardOperation(
        UCATCH_SITE(kFile, "CFIFOBuffer::pop - exception", "pop"), result,
        [&] {
            const int stored = storedCount();
            if (static_cast<size_t>(stored) < length)
                refuseLength(__LINE__, "CFIFOBuffer::pop", "available data < length (available, length)", stored,
                             length);
            if (length > 0 && destination == nullptr)
                refuseNull(__LINE__, "CFIFOBuffer::pop", "a_buffer is NULL");
            copyOut(destination, length);
            m_iTail = static_cast<int32_t>((static_cast<int64_t>(m_iTail) + static_cast<int64_t>(length)) % m_iSize);
            result = static_cast<int>(length);
        },
        0);
    return result;
}

int CFIFOBuffer::read(void* destination, size_t length)
{
    Hold hold(*this);
    int result = -1;
    guardOperation(
        UCATCH_SITE(kFile, "CFIFOBuffer::read - exception", "read"), result,
        [&] {
            const int stored = storedCount();
            if (static_cast<size_t>(stored) < length)
                refuseLength(__LINE__, "CFIFOBuffer::read", "available data < length (available , length)", stored,
                             length);
            if (length > 0 && destination == nullptr)
                refuseNull(__LINE__, "CFIFOBuffer::read", "a_buffer is NULL");
            copyOut(destination, length);
            result = static_cast<int>(length);
        },
        0);
    return result;
}

int CFIFOBuffer::skip(size_t length)
{
    Hold hold(*this);
    int result = -1;
    guardOperation(
        UCATCH_SITE(kFile, "CFIFOBuffer::skip - exception", "skip"), result,
        [&] {
            const int stored = storedCount();
            if (static_cast<size_t>(stored) < length)
                refuseLength(__LINE__, "CFIFOBuffer::skip", "available data < length (available, length)", stored,
                             length);
            m_iTail = static_cast<int32_t>((static_cast<int64_t>(m_iTail) + static_cast<int64_t>(length)) % m_iSize);
            result = 0;
        },
        0);
    return result;
}

int CFIFOBuffer::sendToStream(CStream* stream, size_t length, bool remove, const char* function, const char* tag,
                              const char* operation, const char* lengthMessage)
{
    Hold hold(*this);
    int result = -1;
    size_t handed = 0;
    bool streamThrew = false;
    guardOperation(
        UCATCH_SITE(kFile, tag, operation), result,
        [&] {
            const int stored = storedCount();
            if (static_cast<size_t>(stored) < length)
                refuseLength(__LINE__, function, lengthMessage, stored, length);
            if (stream == nullptr)
                refuseNull(__LINE__, function, "a_stream is NULL");
            struct Piece {
                int32_t start;
                size_t length;
            };
            const size_t first = std::min(length, static_cast<size_t>(m_iSize - m_iTail));
            const Piece pieces[2] = {{m_iTail, first}, {0, length - first}};
            static const char* const kCountTexts[2] = {"a_stream->send error #1 (count, m_iHead, m_iTail)",
                                                       "a_stream->send error #2 (count, m_iHead, m_iTail)"};
            static const char* const kRestTexts[2] = {"a_stream->send error #1 (a_length, _tail, m_iSize)",
                                                      "a_stream->send error #2 (a_length, _tail, m_iSize)"};
            static const char* const kErrors[2] = {"a_stream->send() error #1", "a_stream->send() error #2"};
            const auto advance = [&] {
                if (remove)
                    m_iTail =
                        static_cast<int32_t>((static_cast<int64_t>(m_iTail) + static_cast<int64_t>(handed)) % m_iSize);
            };
            for (int k = 0; k < 2; ++k) {
                if (pieces[k].length == 0)
                    break;
                int sent = 0;
                try {
                    sent = stream->writeBytes(pieces[k].length, m_data + pieces[k].start);
                } catch (...) {
                    // What the stream took before it threw is gone from here too.
                    streamThrew = true;
                    advance();
                    throw;
                }
                if (sent <= 0) {
                    ULOG_ERROR(
                        kFile, function,
                        makeArgFormat("%1, %2, %3, %4", kCountTexts[k], static_cast<long>(handed), m_iHead, m_iTail));
                    ULOG_ERROR(kFile, function,
                               makeArgFormat("%1, %2, %3, %4", kRestTexts[k], static_cast<long>(length - handed),
                                             pieces[k].start, m_iSize));
                    // What the stream took already is gone from here, or it would go twice.
                    advance();
                    throw UException(-1, kFile, function, __LINE__, "EXCEPTION - %s", kErrors[k]);
                }
                const size_t took = std::min(static_cast<size_t>(sent), pieces[k].length);
                handed += took;
                // A stream that took part of a piece gets the rest later, in order.
                if (took < pieces[k].length)
                    break;
            }
            advance();
            result = static_cast<int>(handed);
        },
        0);
    // A stream that threw took the bytes before its throw, or took none: the
    // caller hears of those bytes, or of a failure, never of 0 sent.
    if (streamThrew)
        result = handed > 0 ? static_cast<int>(handed) : (result < 0 ? result : -1);
    return result;
}

int CFIFOBuffer::popToStream(CStream* stream, size_t length)
{
    return sendToStream(stream, length, true, "CFIFOBuffer::popToStream", "CFIFOBuffer::popToStream - exception",
                        "popToStream", "available data < length (available,length)");
}

int CFIFOBuffer::readToStream(CStream* stream, size_t length)
{
    return sendToStream(stream, length, false, "CFIFOBuffer::readToStream", "CFIFOBuffer::readToStream - exception",
                        "readToStream", "available data < length (available, length)");
}

int CFIFOBuffer::popToAutoMemory(AutoMemory& target)
{
    Hold hold(*this);
    int result = -1;
    guardOperation(
        UCATCH_SITE(kFile, "CFIFOBuffer::CFIFOBuffer::popToAutoMemory() - EXCEPTION", "popToAutoMemory"), result,
        [&] {
            const int stored = storedCount();
            void* buffer = target.malloc(stored, 1);
            if (pop(buffer, static_cast<size_t>(stored)) == -1)
                throw UException(-1, kFile, "CFIFOBuffer::popToAutoMemory()", __LINE__, "EXCEPTION - %s",
                                 "pop() FAILED");
            result = 0;
        },
        0);
    return result;
}

void CFIFOBuffer::lock()
{
    m_lock.lock();
    m_owner.store(std::this_thread::get_id());
    ++m_lockDepth;
}

void CFIFOBuffer::unlock()
{
    // Only the holder may release: another thread's unlock would take the
    // lock from under the holder.
    if (m_owner.load() != std::this_thread::get_id() || m_lockDepth == 0)
        return;
    if (--m_lockDepth == 0)
        m_owner.store(std::thread::id());
    m_lock.unlock();
}

int CFIFOBuffer::readBytes(size_t length, void* destination)
{
    return pop(destination, length);
}

int CFIFOBuffer::writeBytes(size_t length, const void* source)
{
    return push(source, length);
}
