#include "RecordingLog.h"
#include "foundation/FIFOBuffer.h"
#include "foundation/UException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using tessal::test::RecordingLog;

namespace {

std::string popText(CFIFOBuffer& b, size_t n)
{
    std::string s(n, '\0');
    EXPECT_EQ(b.pop(s.data(), n), static_cast<int>(n));
    return s;
}

// Takes at most limit bytes a call (0: refuses every call).
class LimitedStream : public CStream
{
public:
    explicit LimitedStream(size_t limit) : limit(limit) {}
    int readBytes(size_t, void*) override { return -1; }
    int writeBytes(size_t length, const void* source) override
    {
        const size_t n = std::min(length, limit);
        received.append(static_cast<const char*>(source), n);
        return static_cast<int>(n);
    }
    size_t limit;
    std::string received;
};

} // namespace

TEST(FifoTest, CapacityWrapReadSkipAndRefusals)
{
    RecordingLog log;
    CFIFOBuffer b(4);
    EXPECT_EQ(b.push("abcd", 4), 4);
    EXPECT_EQ(b.push("e", 1), -1);
    EXPECT_TRUE(log.contains("CFIFOBuffer::push, EXCEPTION - free space < length (free space, length), 0, 1\n"));
    EXPECT_EQ(popText(b, 3), "abc");
    EXPECT_EQ(b.push("efg", 3), 3); // wraps around the end of the storage
    EXPECT_EQ(b.count(), 4);
    EXPECT_EQ(b.freeSpace(), 0);
    char r1[4], r2[4];
    EXPECT_EQ(b.read(r1, 4), 4);
    EXPECT_EQ(b.read(r2, 4), 4);
    EXPECT_EQ(std::string(r1, 4), "defg");
    EXPECT_EQ(std::string(r2, 4), "defg");
    EXPECT_EQ(b.pop(r1, 5), -1);
    EXPECT_TRUE(log.contains("EXCEPTION - available data < length (available, length), 4, 5\n"));
    EXPECT_EQ(b.read(r1, 5), -1);
    EXPECT_TRUE(log.contains("EXCEPTION - available data < length (available , length), 4, 5\n"));
    EXPECT_EQ(b.skip(2), 0);
    EXPECT_EQ(popText(b, 2), "fg");
    EXPECT_EQ(b.pop(nullptr, 1), -1);
    EXPECT_EQ(b.push(nullptr, 1), -1);
    EXPECT_TRUE(log.contains("EXCEPTION caught: CFIFOBuffer::pop - exception"));

    AutoMemory out(8);
    EXPECT_EQ(b.popToAutoMemory(out), 0);
    EXPECT_EQ(out.getBuffer(), nullptr);
    b.push("xyz", 3);
    EXPECT_EQ(b.popToAutoMemory(out), 0);
    EXPECT_EQ(std::string(out.as<char>(), out.getSize()), "xyz");
    EXPECT_EQ(b.count(), 0);

    for (int capacity : {-1, INT_MAX}) {
        b.Init(capacity);
        EXPECT_EQ(b.capacity(), 0);
        EXPECT_EQ(b.push("a", 1), -1);
        EXPECT_EQ(b.push("", 0), 0);
    }
    EXPECT_TRUE(log.contains("CFIFOBuffer::Init, Failed to allocate memory (size: -1, error: 22)\n"));
}

// Every operation in random order on a small ring, so that it wraps many
// times, against a std::deque.
TEST(FifoTest, AgreesWithADequeOverManyWraps)
{
    RecordingLog log(0);
    std::mt19937 random(7);
    CFIFOBuffer b(13);
    CFIFOBuffer sink(1000000);
    std::deque<char> expected;
    std::string sunk;
    char next = 0;
    for (int round = 0; round < 20000; ++round) {
        const size_t n = random() % 16;
        char chunk[16];
        const int op = static_cast<int>(random() % 6);
        const bool fits = op == 0 ? n <= static_cast<size_t>(13 - expected.size()) : n <= expected.size();
        int got = 0;
        switch (op) {
        case 0:
            for (size_t i = 0; i < n; ++i)
                chunk[i] = next++;
            got = b.push(chunk, n);
            if (fits)
                expected.insert(expected.end(), chunk, chunk + n);
            break;
        case 1:
        case 2:
            got = op == 1 ? b.pop(chunk, n) : b.read(chunk, n);
            if (fits) {
                EXPECT_TRUE(std::equal(chunk, chunk + n, expected.begin())) << round;
                if (op == 1)
                    expected.erase(expected.begin(), expected.begin() + static_cast<long>(n));
            }
            break;
        case 3:
            got = b.skip(n);
            if (fits)
                expected.erase(expected.begin(), expected.begin() + static_cast<long>(n));
            break;
        default:
            got = op == 4 ? b.popToStream(&sink, n) : b.readToStream(&sink, n);
            if (fits) {
                sunk.append(expected.begin(), expected.begin() + static_cast<long>(n));
                if (op == 4)
                    expected.erase(expected.begin(), expected.begin() + static_cast<long>(n));
            }
            break;
        }
        EXPECT_EQ(got, fits ? (op == 3 ? 0 : static_cast<int>(n)) : -1) << round << " op " << op;
        ASSERT_EQ(b.count(), static_cast<int>(expected.size())) << round;
    }
    std::vector<char> drained(static_cast<size_t>(sink.count()));
    sink.pop(drained.data(), drained.size());
    EXPECT_EQ(std::string(drained.begin(), drained.end()), sunk);
}

// A stream that takes part of a piece gets the rest later and in order; one
// that fails on the second piece keeps the first from going out twice.
TEST(FifoTest, StreamsThatTakeLessOrFail)
{
    RecordingLog log;
    CFIFOBuffer b(6);
    b.push("abcd", 4);
    popText(b, 4);
    b.push("efghij", 6); // across the end of the 7-byte storage: "efg" at 4..6, "hij" at 0..2
    LimitedStream partial(1);
    EXPECT_EQ(b.popToStream(&partial, 6), 1);
    EXPECT_EQ(b.readToStream(&partial, 5), 1);
    EXPECT_EQ(partial.received, "ef");
    EXPECT_EQ(b.count(), 5);

    LimitedStream all(100);
    EXPECT_EQ(b.popToStream(&all, 1), 1);
    EXPECT_EQ(all.received, "f");
    LimitedStream refuses(0);
    EXPECT_EQ(b.popToStream(&refuses, 4), -1);
    EXPECT_TRUE(log.contains("CFIFOBuffer::popToStream, a_stream->send error #1 (count, m_iHead, m_iTail), 0, 3, 6\n"));
    EXPECT_TRUE(
        log.contains("CFIFOBuffer::popToStream, a_stream->send error #1 (a_length, _tail, m_iSize), 4, 6, 7\n"));
    EXPECT_TRUE(log.contains("CFIFOBuffer::popToStream, EXCEPTION - a_stream->send() error #1\n"));
    EXPECT_EQ(b.count(), 4);
    EXPECT_EQ(b.popToStream(nullptr, 1), -1);

    b.clear();
    b.push("abcdef", 6);
    popText(b, 5);
    b.push("ghijk", 5); // "fg" at 5..6, "hijk" at 0..3
    struct FailsSecond : LimitedStream {
        FailsSecond() : LimitedStream(100) {}
        int writeBytes(size_t length, const void* source) override
        {
            return ++calls == 2 ? 0 : LimitedStream::writeBytes(length, source);
        }
        int calls = 0;
    } second;
    EXPECT_EQ(b.popToStream(&second, 6), -1);
    EXPECT_TRUE(log.contains("a_stream->send error #2 (count, m_iHead, m_iTail), 2, 4, 5\n"));
    EXPECT_EQ(second.received, "fg");
    EXPECT_EQ(popText(b, 4), "hijk");
}

// A stream that throws keeps what it took before the throw, and the caller
// hears of the bytes it took, or of a failure when it took none.
TEST(FifoTest, StreamThatThrows)
{
    RecordingLog log;
    struct Throws : LimitedStream {
        Throws(int on, int kind) : LimitedStream(100), on(on), kind(kind) {}
        int writeBytes(size_t length, const void* source) override
        {
            if (++calls != on)
                return LimitedStream::writeBytes(length, source);
            if (kind == 0)
                throw std::runtime_error("stream gone");
            if (kind == 1)
                throw UException(0, "stream gone");
            throw 5;
        }
        int on;
        int kind;
        int calls = 0;
    };
    struct Row {
        int on;
        int kind;
        bool remove;
        int result;
        const char* received;
        const char* left;
    };
    const Row rows[] = {
        {2, 0, true, 2, "fg", "hijk"},    {2, 1, true, 2, "fg", "hijk"},  {2, 2, true, 2, "fg", "hijk"},
        {1, 0, true, -1, "", "fghijk"},   {1, 1, true, -1, "", "fghijk"}, {1, 2, true, -1, "", "fghijk"},
        {2, 0, false, 2, "fg", "fghijk"},
    };
    for (const Row& row : rows) {
        CFIFOBuffer b(6);
        b.push("abcdef", 6);
        popText(b, 5);
        b.push("ghijk", 5); // "fg" at 5..6, "hijk" at 0..3
        Throws stream(row.on, row.kind);
        const int sent = row.remove ? b.popToStream(&stream, 6) : b.readToStream(&stream, 6);
        EXPECT_EQ(sent, row.result) << row.on << " " << row.kind;
        EXPECT_EQ(stream.received, row.received);
        EXPECT_EQ(popText(b, static_cast<size_t>(b.count())), row.left) << row.on << " " << row.kind;
    }
    EXPECT_TRUE(log.contains("CFIFOBuffer::popToStream - exception, stream gone")) << log.text();
}

// A producer and a consumer on two threads, both keeping the reference under
// the buffer's own lock.
TEST(FifoTest, TwoThreadsKeepTheOrder)
{
    RecordingLog log;
    CFIFOBuffer b(97);
    std::deque<char> expected;
    const int total = 200000;
    std::thread producer([&] {
        std::mt19937 random(1);
        char next = 0;
        for (int sent = 0; sent < total;) {
            char chunk[40];
            size_t n = std::min<size_t>(1 + random() % 40, static_cast<size_t>(total - sent));
            b.lock();
            n = std::min(n, static_cast<size_t>(b.freeSpace()));
            for (size_t i = 0; i < n; ++i)
                chunk[i] = next++;
            if (n > 0 && b.push(chunk, n) == static_cast<int>(n)) {
                expected.insert(expected.end(), chunk, chunk + n);
                sent += static_cast<int>(n);
            }
            b.unlock();
            if (n == 0)
                std::this_thread::yield();
        }
    });
    std::mt19937 random(2);
    int mismatches = 0;
    for (int received = 0; received < total;) {
        char chunk[40];
        b.lock();
        const size_t n = std::min<size_t>(1 + random() % 40, static_cast<size_t>(b.count()));
        if (n > 0 && b.pop(chunk, n) == static_cast<int>(n)) {
            mismatches += std::equal(chunk, chunk + n, expected.begin()) ? 0 : 1;
            expected.erase(expected.begin(), expected.begin() + static_cast<long>(n));
            received += static_cast<int>(n);
        }
        b.unlock();
        if (n == 0)
            std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(log.count(), 0u);

    // An unlock from a thread that does not hold the lock changes nothing.
    b.lock();
    std::thread([&] { b.unlock(); }).join();
    b.unlock();
    int seen = -1;
    std::thread([&] { seen = b.count(); }).join();
    EXPECT_EQ(seen, 0);
}
