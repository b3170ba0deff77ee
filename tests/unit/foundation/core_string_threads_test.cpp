// Copies of one CString block live on two threads at once; run under the
// asan and tsan presets these catch a block freed while another thread still
// reads it.

#include "foundation/String.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Both threads step through the rounds together so that their operations on
// the copies of one block overlap.
class Lockstep
{
public:
    void arrive(int thread, int round)
    {
        m_round[thread].store(round, std::memory_order_release);
        while (m_round[1 - thread].load(std::memory_order_acquire) < round)
            std::this_thread::yield();
    }

private:
    std::atomic<int> m_round[2] = {{-1}, {-1}};
};

const int kRounds = 20000;

} // namespace

TEST(CStringThreads, WriteOneCopyWhileTheOtherIsDestroyed)
{
    const std::string text(1024, 't');
    std::vector<CString> mine(kRounds);
    std::vector<CString> theirs(kRounds);
    for (int i = 0; i < kRounds; ++i) {
        mine[i] = CString(text.c_str());
        theirs[i] = mine[i];
    }
    Lockstep step;
    std::atomic<int> mismatches{0};
    std::thread writer([&] {
        for (int i = 0; i < kRounds; ++i) {
            step.arrive(0, i);
            mine[i].SetAt(0, 'w'); // unshares while the other copy goes away
            if (mine[i].GetLength() != 1024 || mine[i][1023] != 't')
                ++mismatches;
            mine[i].Empty();
        }
    });
    std::thread destroyer([&] {
        for (int i = 0; i < kRounds; ++i) {
            step.arrive(1, i);
            theirs[i] = CString();
        }
    });
    writer.join();
    destroyer.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(CStringThreads, CopiesOfASharedStringOnTwoThreads)
{
    const CString master(std::string(1024, 'm').c_str());
    Lockstep step;
    std::atomic<int> mismatches{0};
    auto work = [&](int id) {
        for (int i = 0; i < kRounds; ++i) {
            step.arrive(id, i);
            CString a(master);
            CString b;
            b = a;
            b += "x"; // unshares by concatenation
            a.MakeUpper(); // unshares in place
            CString c(master);
            c.GetBuffer(2048); // unshares into a larger block
            c.ReleaseBuffer();
            if (a[0] != 'M' || b.GetLength() != 1025 || c != master)
                ++mismatches;
        }
    };
    std::thread t0(work, 0);
    std::thread t1(work, 1);
    t0.join();
    t1.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(master.GetData()->nRefs.load(), 1);
}

TEST(CStringThreads, ReplaceAndTrimOnSharedCopies)
{
    const CString master("  a%b%c  ");
    Lockstep step;
    std::atomic<int> mismatches{0};
    auto work = [&](int id) {
        for (int i = 0; i < kRounds; ++i) {
            step.arrive(id, i);
            CString s(master);
            s.Replace("%", "%%");
            s.TrimLeft();
            s.TrimRight();
            if (s != "a%%b%%c")
                ++mismatches;
        }
    };
    std::thread t0(work, 0);
    std::thread t1(work, 1);
    t0.join();
    t1.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_STREQ(master, "  a%b%c  ");
}
