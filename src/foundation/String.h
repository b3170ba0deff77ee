#pragma once
// CString: the library's reference-counted narrow string. Copies share one
// heap block (header + characters) until one of them is written.

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

class UArgFormat;

typedef char TCHAR;
typedef const char* LPCTSTR;
typedef const char* LPCSTR;
typedef char* LPTSTR;
typedef char* LPSTR;

// The header that lies immediately before the characters of every block.
struct CStringData {
    std::atomic<int64_t> nRefs; // sharers; -1 for a locked block or the empty string
    int32_t nDataLength; // characters in use
    int32_t nAllocLength; // characters that fit, without the NUL

    char* data() { return reinterpret_cast<char*>(this + 1); }
};
static_assert(sizeof(CStringData) == 16, "the characters must follow the header directly");

// Reports a failed check (system log and/or debugTrace) and returns: checks never stop the program.
void ReportAssertFailure(const char* expression, const char* file, unsigned int line, const char* function);

// The shared empty string: never counted, never freed.
extern CStringData* const afxDataNil;
// One NUL character, for assigning an empty text.
extern const char afxChNil[1];

class CString
{
public:
    CString();
    CString(const CString& stringSrc);
    CString(LPCTSTR lpsz);
    CString(char ch, int nRepeat);
    // Exactly nLength bytes, NULs included.
    CString(LPCSTR lpch, int nLength);
    // The first length bytes (cut at the first NUL among them), the whole text
    // when length is below 1, a copy of fallback when text is null.
    CString(const char* text, int length, const char* fallback);
    // The text, at most maxLength characters; 0 keeps the whole text.
    CString(const char* text, size_t maxLength);
    ~CString();

    const CString& operator=(const CString& stringSrc);
    const CString& operator=(LPCTSTR lpsz);
    const CString& operator=(char ch);

    const CString& operator+=(LPCTSTR lpsz);
    const CString& operator+=(const CString& string);
    const CString& operator+=(char ch);

    friend CString operator+(const CString& string1, const CString& string2);
    friend CString operator+(const CString& string, LPCTSTR lpsz);
    friend CString operator+(LPCTSTR lpsz, const CString& string);
    friend CString operator+(const CString& string, char ch);
    friend CString operator+(char ch, const CString& string);

    int GetLength() const { return GetData()->nDataLength; }
    bool IsEmpty() const { return GetData()->nDataLength == 0; }
    void Empty();

    char GetAt(int nIndex) const;
    char operator[](int nIndex) const;
    void SetAt(int nIndex, char ch);
    operator LPCTSTR() const { return m_pchData; }

    // Comparison of the NUL-terminated texts (a plain pointer comparison
    // through the conversion operator would be a silent mistake).
    int Compare(LPCTSTR lpsz) const;

    int Find(char ch) const;
    int Find(char ch, int nStart) const;
    int Find(LPCTSTR lpszSub) const;
    int Find(LPCTSTR lpszSub, int nStart) const;
    int FindOneOf(LPCTSTR lpszCharSet, int nStart = 0) const;
    int ReverseFind(char ch) const;

    CString Mid(int nFirst, int nCount) const;
    CString Mid(int nFirst) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString SpanIncluding(LPCTSTR lpszCharSet) const;
    CString SpanExcluding(LPCTSTR lpszCharSet) const;

    int Replace(char chOld, char chNew);
    int Replace(LPCTSTR lpszOld, LPCTSTR lpszNew);
    void TrimLeft();
    void TrimRight();
    void MakeUpper();
    void MakeLower();
    void MakeReverse();

    void Format(LPCTSTR lpszFormat, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(LPCTSTR lpszFormat, va_list argList) __attribute__((format(printf, 2, 0)));

    LPTSTR GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);
    LPTSTR GetBufferSetLength(int nNewLength);
    void FreeExtra();
    LPTSTR LockBuffer();
    void UnlockBuffer();

    // The block header (read-only use: sharing state, capacity).
    CStringData* GetData() const
    {
        if (m_pchData == nullptr)
            ReportAssertFailure("m_pchData != 0", __FILE__, __LINE__, __func__);
        return reinterpret_cast<CStringData*>(m_pchData) - 1;
    }

protected:
    // The formatter edits its private format block in place.
    friend class UArgFormat;

    void Init();
    void AllocBuffer(int nLen);
    void Release();
    static void Release(CStringData* pData);
    void CopyBeforeWrite();
    void AllocBeforeWrite(int nLen);
    void AllocCopy(CString& dest, int nCopyLen, int nCopyIndex, int nExtraLen) const;
    void AssignCopy(int nSrcLen, LPCTSTR lpszSrcData);
    void ConcatCopy(int nSrc1Len, LPCTSTR lpszSrc1Data, int nSrc2Len, LPCTSTR lpszSrc2Data);
    void ConcatInPlace(int nSrcLen, LPCTSTR lpszSrcData);

    LPTSTR m_pchData;

private:
    static CStringData* NewBlock(int nLen);
    // A block with room for nAlloc characters holding nLen of them.
    static CStringData* NewBlock(int nLen, int nAlloc);
    void CopyLockedOrEmpty(const CString& stringSrc);
    static void FreeBlock(CStringData* pData);
};

// Copying and destroying are the hot paths: one atomic step each.
inline CString::CString(const CString& stringSrc)
{
    CStringData* pSrc = stringSrc.GetData();
    if (pSrc->nRefs.load(std::memory_order_relaxed) > 0) {
        m_pchData = stringSrc.m_pchData;
        pSrc->nRefs.fetch_add(1, std::memory_order_relaxed);
    } else {
        CopyLockedOrEmpty(stringSrc);
    }
}

inline CString::~CString()
{
    CStringData* pData = GetData();
    if (pData != afxDataNil && pData->nRefs.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0)
        FreeBlock(pData);
}

bool operator==(const CString& s1, const CString& s2);
bool operator==(const CString& s1, LPCTSTR s2);
bool operator==(LPCTSTR s1, const CString& s2);
bool operator!=(const CString& s1, const CString& s2);
bool operator!=(const CString& s1, LPCTSTR s2);
bool operator!=(LPCTSTR s1, const CString& s2);
bool operator<(const CString& s1, const CString& s2);

// Overwrites the characters with zeros and empties the string; returns 1.
int wipeString(CString& text);

// Consistency-check support.
bool AfxIsValidString(LPCTSTR lpsz, bool bLength);
bool AfxIsValidAddress(const void* lp, int nBytes, bool bReadWrite);
// Writes "[pid] text" to the outputs selected by traceFlags; returns 0.
int debugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Outputs of checks and traces: 2 = system log, 1 = debugTrace / standard output.
extern std::atomic<unsigned int> traceFlags;

// A consistency check with its exact report text.
#define UASSERT_TEXT(cond, text)                                         \
    do {                                                                 \
        if (!(cond))                                                     \
            ::ReportAssertFailure((text), __FILE__, __LINE__, __func__); \
    } while (0)
