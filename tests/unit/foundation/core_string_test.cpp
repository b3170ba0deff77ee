#include "foundation/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string bytes(const CString& s)
{
    return std::string(static_cast<const char*>(s), static_cast<size_t>(s.GetLength()));
}

int64_t refs(const CString& s)
{
    return s.GetData()->nRefs.load();
}

// Silences the system-log reports of deliberately failed checks.
struct QuietChecks {
    unsigned int saved = traceFlags.exchange(0);
    ~QuietChecks() { traceFlags.store(saved); }
};

} // namespace

TEST(CStringSharing, EmptyStringsUseTheSharedNilBlock)
{
    CString a;
    CString b("");
    CString c(static_cast<const char*>(nullptr));
    CString d('x', 0);
    CString e("abc", 0);
    for (const CString* s : {&a, &b, &c, &d, &e}) {
        EXPECT_EQ(s->GetData(), afxDataNil);
        EXPECT_EQ(s->GetLength(), 0);
        EXPECT_STREQ(*s, "");
    }
    CString copy(a);
    EXPECT_EQ(copy.GetData(), afxDataNil);
    EXPECT_EQ(afxDataNil->nRefs.load(), -1);
}

TEST(CStringSharing, CopiesShareUntilWritten)
{
    CString a("hello");
    CString b(a);
    EXPECT_EQ(a.GetData(), b.GetData());
    EXPECT_EQ(refs(a), 2);

    b.SetAt(0, 'j');
    EXPECT_STREQ(a, "hello");
    EXPECT_STREQ(b, "jello");
    EXPECT_NE(a.GetData(), b.GetData());
    EXPECT_EQ(refs(a), 1);
    EXPECT_EQ(refs(b), 1);

    CString c;
    c = a;
    EXPECT_EQ(c.GetData(), a.GetData());
    c += "!";
    EXPECT_STREQ(a, "hello");
    EXPECT_STREQ(c, "hello!");
    EXPECT_EQ(refs(a), 1);
}

TEST(CStringSharing, LockedBlocksAreNeverShared)
{
    CString a("locked");
    char* p = a.LockBuffer();
    EXPECT_EQ(refs(a), -1);
    CString copy(a);
    EXPECT_NE(copy.GetData(), a.GetData());
    EXPECT_STREQ(copy, "locked");

    // Assigning to a locked string copies characters into its own block.
    CStringData* block = a.GetData();
    CString other("other");
    a = other;
    EXPECT_EQ(a.GetData(), block);
    EXPECT_NE(a.GetData(), other.GetData());
    EXPECT_STREQ(a, "other");
    EXPECT_EQ(p, static_cast<const char*>(a));

    a.UnlockBuffer();
    EXPECT_EQ(refs(a), 1);
    CString shared(a);
    EXPECT_EQ(shared.GetData(), a.GetData());
}

TEST(CStringSharing, EmptyKeepsAPreparedBlock)
{
    CString s;
    s.GetBuffer(100);
    s.ReleaseBuffer(0);
    CStringData* block = s.GetData();
    EXPECT_EQ(block->nAllocLength, 100);
    s.Empty();
    EXPECT_EQ(s.GetData(), block);

    CString t("text");
    t.Empty();
    EXPECT_EQ(t.GetData(), afxDataNil);
}

TEST(CStringConstruction, LengthTakingForms)
{
    CString five("ab\0cd", 5);
    EXPECT_EQ(five.GetLength(), 5);
    EXPECT_EQ(bytes(five), std::string("ab\0cd", 5));

    EXPECT_STREQ(CString("abcdef", 3, ""), "abc");
    EXPECT_STREQ(CString("abcdef", 0, ""), "abcdef");
    EXPECT_STREQ(CString("ab\0cd", 5, ""), "ab");
    EXPECT_STREQ(CString(nullptr, 3, "fallback"), "fallback");
    EXPECT_STREQ(CString(nullptr, 3, nullptr), "");
    // A length beyond the text stops at its NUL.
    EXPECT_EQ(CString("ab", 1000, "").GetLength(), 2);

    EXPECT_STREQ(CString("abcdef", static_cast<size_t>(4)), "abcd");
    EXPECT_STREQ(CString("abc", static_cast<size_t>(0)), "abc");
    EXPECT_STREQ(CString("abc", static_cast<size_t>(99)), "abc");
    EXPECT_STREQ(CString('z', 3), "zzz");
}

TEST(CStringConstruction, BadArgumentsStayInsideTheBlock)
{
    QuietChecks quiet;
    CString nullText(static_cast<const char*>(nullptr), 5);
    EXPECT_TRUE(nullText.IsEmpty());
    CString negative("abc", -4);
    EXPECT_TRUE(negative.IsEmpty());
    EXPECT_EQ(negative.GetData(), afxDataNil);
}

TEST(CStringConcatenation, ExactLengthsAndNullTexts)
{
    CString a("ab");
    CString b("cd");
    EXPECT_STREQ(a + b, "abcd");
    EXPECT_STREQ(a + "x", "abx");
    EXPECT_STREQ("x" + a, "xab");
    EXPECT_STREQ(a + static_cast<const char*>(nullptr), "ab");
    EXPECT_STREQ(a + 'z', "abz");
    EXPECT_STREQ('z' + a, "zab");
    CString sum = a + b;
    EXPECT_EQ(sum.GetData()->nAllocLength, 4);

    CString s("x");
    s += static_cast<const char*>(nullptr);
    s += '\0';
    EXPECT_STREQ(s, "x");
    EXPECT_EQ(s.GetLength(), 1);
    s += s;
    EXPECT_STREQ(s, "xx");
    s += CString("a\0b", 3);
    EXPECT_EQ(s.GetLength(), 5);

    // Appends in a loop move the text a logarithmic number of times.
    CString built;
    int moves = 0;
    for (int i = 0; i < 100000; ++i) {
        const char* before = built;
        built += 'x';
        moves += static_cast<const char*>(built) != before;
    }
    EXPECT_LT(moves, 40);
    EXPECT_EQ(built.GetLength(), 100000);
}

TEST(CStringConstruction, AssignNullAndCharacters)
{
    CString s("abc");
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s = 'q';
    EXPECT_STREQ(s, "q");
    CString locked("locked");
    locked.LockBuffer();
    locked = static_cast<const char*>(nullptr);
    EXPECT_TRUE(locked.IsEmpty());
    EXPECT_EQ(locked.GetData()->nRefs.load(), -1);
    locked.UnlockBuffer();
}

TEST(CStringConcatenation, AppendToOwnText)
{
    CString s;
    s.GetBuffer(20);
    s.ReleaseBuffer(0);
    s = "abc";
    s += static_cast<const char*>(s);
    EXPECT_STREQ(s, "abcabc");
    s = static_cast<const char*>(s) + 3;
    EXPECT_STREQ(s, "abc");
}

TEST(CStringSearch, FindAndFriends)
{
    CString s("abcabc");
    EXPECT_EQ(s.Find('b'), 1);
    EXPECT_EQ(s.Find('b', 2), 4);
    EXPECT_EQ(s.Find('b', 7), -1);
    EXPECT_EQ(s.Find('\0'), 6);
    EXPECT_EQ(s.Find("ca"), 2);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find("zz"), -1);
    EXPECT_EQ(s.FindOneOf("xc"), 2);
    EXPECT_EQ(s.FindOneOf("xc", 3), 5);
    EXPECT_EQ(s.FindOneOf("a", 6), -1);
    EXPECT_EQ(s.ReverseFind('a'), 3);
    EXPECT_EQ(s.ReverseFind('q'), -1);
}

TEST(CStringSearch, NegativeStartsAndNullPatternsAreClamped)
{
    QuietChecks quiet;
    CString s("abcabc");
    EXPECT_EQ(s.Find('a', -100), 0);
    EXPECT_EQ(s.Find("bc", INT_MIN), 1);
    EXPECT_EQ(s.FindOneOf("c", -5), 2);
    EXPECT_EQ(s.Find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(s.FindOneOf(nullptr), -1);
    EXPECT_EQ(s.Find('a', INT_MAX), -1);
}

TEST(CStringExtraction, MidLeftRight)
{
    CString s("abcdef");
    EXPECT_STREQ(s.Mid(-3, 2), s.Left(2));
    EXPECT_STREQ(CString("abcd").Mid(10, 5), "");
    EXPECT_STREQ(s.Mid(2, 100), "cdef");
    EXPECT_STREQ(s.Mid(2), "cdef");
    EXPECT_STREQ(s.Mid(-1), "abcdef");
    EXPECT_STREQ(s.Mid(7), "");
    EXPECT_STREQ(s.Mid(1, INT_MAX), "bcdef");
    EXPECT_STREQ(s.Mid(INT_MAX, INT_MAX), "");
    EXPECT_STREQ(s.Mid(INT_MIN, 3), "abc");
    EXPECT_STREQ(s.Mid(3, INT_MIN), "");
    EXPECT_STREQ(s.Right(-1), "");
    EXPECT_STREQ(s.Right(2), "ef");
    EXPECT_STREQ(s.Left(99), "abcdef");
    EXPECT_STREQ(s.Left(-5), "");
    EXPECT_STREQ(s.SpanIncluding("abx"), "ab");
    EXPECT_STREQ(s.SpanExcluding("dz"), "abc");
}

TEST(CStringAccess, OutOfRangeIndexesTouchNothing)
{
    QuietChecks quiet;
    CString s("ab");
    EXPECT_EQ(s.GetAt(1), 'b');
    EXPECT_EQ(s[0], 'a');
    EXPECT_EQ(s.GetAt(2), '\0');
    EXPECT_EQ(s[-1], '\0');
    s.SetAt(5, 'x');
    s.SetAt(-1, 'x');
    EXPECT_STREQ(s, "ab");
}

TEST(CStringModify, ReplaceTexts)
{
    CString s("aXbXc");
    EXPECT_EQ(s.Replace("X", "--"), 2);
    EXPECT_STREQ(s, "a--b--c");
    EXPECT_EQ(s.Replace("", "z"), 0);
    EXPECT_EQ(s.Replace(nullptr, "z"), 0);
    EXPECT_EQ(s.Replace("--", nullptr), 2);
    EXPECT_STREQ(s, "abc");

    CString shared("aaa");
    CString copy(shared);
    EXPECT_EQ(shared.Replace('a', 'a'), 0);
    EXPECT_EQ(shared.GetData(), copy.GetData());
    EXPECT_EQ(shared.Replace("q", "r"), 0);
    EXPECT_EQ(shared.GetData(), copy.GetData());
    EXPECT_EQ(shared.Replace('a', 'b'), 3);
    EXPECT_STREQ(shared, "bbb");
    EXPECT_STREQ(copy, "aaa");
}

TEST(CStringModify, ReplaceAcrossEmbeddedNuls)
{
    CString grow("ab\0ab", 5);
    EXPECT_EQ(grow.Replace("b", "xyz"), 2);
    EXPECT_EQ(bytes(grow), std::string("axyz\0axyz", 9));

    CString shrink("xyzq\0xyzxyz", 11);
    EXPECT_EQ(shrink.Replace("xyz", "1"), 3);
    EXPECT_EQ(bytes(shrink), std::string("1q\0"
                                         "11",
                                         5));
}

TEST(CStringModify, TrimAndCase)
{
    CString s(" \t\r\n text \v\f ");
    s.TrimLeft();
    EXPECT_STREQ(s, "text \v\f ");
    s.TrimRight();
    EXPECT_STREQ(s, "text");
    EXPECT_EQ(s.GetLength(), 4);
    s.MakeUpper();
    EXPECT_STREQ(s, "TEXT");
    s.MakeLower();
    EXPECT_STREQ(s, "text");
    s.MakeReverse();
    EXPECT_STREQ(s, "txet");

    CString blank("   ");
    blank.TrimRight();
    EXPECT_TRUE(blank.IsEmpty());
}

TEST(CStringBuffer, GetBufferReleaseBuffer)
{
    CString s("abc");
    CString shared(s);
    char* p = s.GetBuffer(10);
    EXPECT_NE(s.GetData(), shared.GetData());
    EXPECT_EQ(s.GetData()->nAllocLength, 10);
    std::strcpy(p, "longer");
    s.ReleaseBuffer();
    EXPECT_STREQ(s, "longer");
    EXPECT_EQ(s.GetLength(), 6);
    s.FreeExtra();
    EXPECT_EQ(s.GetData()->nAllocLength, 6);
    EXPECT_STREQ(shared, "abc");

    char* q = s.GetBufferSetLength(3);
    EXPECT_EQ(q[3], '\0');
    EXPECT_STREQ(s, "lon");

    CString empty;
    EXPECT_EQ(empty.GetBuffer(0), afxDataNil->data());
    empty.ReleaseBuffer();
    EXPECT_EQ(empty.GetData(), afxDataNil);
}

TEST(CStringBuffer, BadLengthsAreClamped)
{
    QuietChecks quiet;
    CString s;
    char* p = s.GetBuffer(4);
    std::memset(p, 'x', 5); // no NUL inside the capacity
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 4);
    s.ReleaseBuffer(1000);
    EXPECT_EQ(s.GetLength(), 4);
    s.ReleaseBuffer(-7);
    EXPECT_EQ(s.GetLength(), 0);
    s.GetBufferSetLength(-3);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s, "");
}

TEST(CStringFormat, PrintfFormsAreMeasuredExactly)
{
    CString s;
    s.Format("%10.3s", "abcdef");
    EXPECT_STREQ(s, "       abc");
    s.Format("%lld|%llu", -1234567890123LL, 18446744073709551615ULL);
    EXPECT_STREQ(s, "-1234567890123|18446744073709551615");
    s.Format("%f", 1e200);
    char expected[400];
    std::snprintf(expected, sizeof(expected), "%f", 1e200);
    EXPECT_STREQ(s, expected);
    EXPECT_GT(s.GetLength(), 200);
    s.Format("%ls", L"wide");
    EXPECT_STREQ(s, "wide");
    s.Format("%E %a", 1.5, 1.0);
    EXPECT_STREQ(s, "1.500000E+00 0x1p+0");
    std::string big(50000, 'q');
    s.Format("<%s>", big.c_str());
    EXPECT_EQ(s.GetLength(), 50002);
    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringFormat, ArgumentsMayPointIntoTheString)
{
    CString s("self");
    s.Format("%s-%s", static_cast<const char*>(s), static_cast<const char*>(s));
    EXPECT_STREQ(s, "self-self");
}

TEST(CStringWipe, ZeroesAndEmpties)
{
    CString secret("password");
    CStringData* block = secret.GetData();
    EXPECT_EQ(wipeString(secret), 1);
    EXPECT_TRUE(secret.IsEmpty());
    EXPECT_EQ(secret.GetData(), block);
    EXPECT_EQ(std::memcmp(block->data(), "\0\0\0\0\0\0\0\0", 8), 0);
}

TEST(CStringCompare, ComparesTextsNotPointers)
{
    CString a("abc");
    EXPECT_TRUE(a == "abc");
    EXPECT_TRUE("abc" == a);
    EXPECT_TRUE(a == CString("abc"));
    EXPECT_TRUE(a != "abd");
    EXPECT_TRUE(CString("abb") < a);
    EXPECT_TRUE(CString() == static_cast<const char*>(nullptr));
}

TEST(CStringChecks, FailedCheckIsReportedAndTheOperationGoesOn)
{
    const unsigned int saved = traceFlags.exchange(1);
    testing::internal::CaptureStdout();
    CString s("ab");
    s.SetAt(7, 'x');
    debugTrace("value=%d\n", 42);
    const std::string out = testing::internal::GetCapturedStdout();
    traceFlags.store(saved);
    EXPECT_NE(out.find("Assertion 'nIndex < GetData()->nDataLength' failed, continuing...\n"), std::string::npos);
    EXPECT_NE(out.find("] value=42\n"), std::string::npos);
    EXPECT_EQ(out.front(), '[');
    EXPECT_STREQ(s, "ab");

    traceFlags.store(0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(debugTrace("silent\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    traceFlags.store(saved);
}

TEST(CStringModify, ReplaceAgreesWithSegmentwiseReplacement)
{
    const char alphabet[] = {'a', 'b', 'x', '\0', 'a'};
    const char* pieces[] = {"a", "ab", "ba", "x", "aa", "xyz", ""};
    unsigned int seed = 99;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const size_t n = next() % 20;
        for (size_t i = 0; i < n; ++i)
            text += alphabet[next() % sizeof(alphabet)];
        const std::string from = pieces[next() % 6];
        const std::string to = pieces[next() % 7];

        // Reference: replace within each NUL-separated segment.
        std::string expected;
        int count = 0;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\0', start);
            const bool last = end == std::string::npos;
            std::string seg = text.substr(start, last ? std::string::npos : end - start);
            for (size_t at = seg.find(from); at != std::string::npos; at = seg.find(from, at + to.size())) {
                seg.replace(at, from.size(), to);
                ++count;
            }
            expected += seg;
            if (last)
                break;
            expected += '\0';
            start = end + 1;
        }

        CString s(text.data(), static_cast<int>(text.size()));
        CString shared(s);
        EXPECT_EQ(s.Replace(from.c_str(), to.c_str()), count);
        ASSERT_EQ(bytes(s), expected) << "round " << round;
        EXPECT_EQ(bytes(shared), text);
    }
}
