#include "foundation/String.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <syslog.h>
#include <unistd.h>

namespace {

const int64_t kMaxLength = 0x7FFFFFFE;

// The shared empty string: header followed directly by its NUL.
struct NilBlock {
    CStringData header;
    char text[8];
};
NilBlock s_nilBlock = {{{-1}, 0, 0}, {0}};

int clampStart(int nStart)
{
    return nStart < 0 ? 0 : nStart;
}

} // namespace

CStringData* const afxDataNil = &s_nilBlock.header;
const char afxChNil[1] = {'\0'};

std::atomic<unsigned int> traceFlags{2};

// ---------------------------------------------------------------------------
// Consistency-check support

bool AfxIsValidString(LPCTSTR lpsz, bool)
{
    return lpsz != nullptr;
}

bool AfxIsValidAddress(const void* lp, int, bool)
{
    return lp != nullptr;
}

void ReportAssertFailure(const char* expression, const char* file, unsigned int line, const char* function)
{
    const unsigned int flags = traceFlags.load();
    if (flags & 2)
        syslog(LOG_INFO, "%s:%u: %s\nAssertion '%s' failed, continuing...\n", file, line, function, expression);
    if (flags & 1)
        debugTrace("%s:%u: %s\nAssertion '%s' failed, continuing...\n", file, line, function, expression);
}

int debugTrace(const char* format, ...)
{
    const unsigned int flags = traceFlags.load();
    if (flags == 0)
        return 0;
    const size_t kSize = 10240;
    char buffer[kSize];
    std::memset(buffer, 0, kSize);
    int prefix = std::snprintf(buffer, kSize, "[%4d] ", static_cast<int>(getpid()));
    if (prefix < 0)
        prefix = 0;
    if (format != nullptr && static_cast<size_t>(prefix) < kSize) {
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(buffer + prefix, kSize - prefix, format, args);
        va_end(args);
        if (n < 0)
            buffer[kSize - 1] = '\0';
    }
    if (flags & 2)
        syslog(LOG_DEBUG, "%s", buffer);
    if (flags & 1) {
        std::fputs(buffer, stdout);
        std::fflush(stdout);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Core

CStringData* CString::NewBlock(int nLen)
{
    return NewBlock(nLen, nLen);
}

CStringData* CString::NewBlock(int nLen, int nAlloc)
{
    char* raw = new char[sizeof(CStringData) + static_cast<size_t>(nAlloc) + 1];
    CStringData* pData = new (raw) CStringData;
    pData->nRefs.store(1);
    pData->nDataLength = nLen;
    pData->nAllocLength = nAlloc;
    pData->data()[nLen] = '\0';
    return pData;
}

void CString::Init()
{
    m_pchData = afxDataNil->data();
}

void CString::AllocBuffer(int nLen)
{
    UASSERT_TEXT(nLen >= 0, "nLen >= 0");
    UASSERT_TEXT(nLen <= 0x7fffffff - 1, "nLen <= 0x7fffffff-1");
    if (nLen <= 0 || nLen > kMaxLength) {
        Init();
        return;
    }
    m_pchData = NewBlock(nLen)->data();
}

void CString::FreeBlock(CStringData* pData)
{
    pData->~CStringData();
    delete[] reinterpret_cast<char*>(pData);
}

void CString::Release(CStringData* pData)
{
    if (pData == afxDataNil)
        return;
    UASSERT_TEXT(pData->nRefs.load() != 0, "pData->nRefs != 0");
    if (pData->nRefs.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0)
        FreeBlock(pData);
}

void CString::Release()
{
    CStringData* pData = GetData();
    if (pData != afxDataNil) {
        UASSERT_TEXT(pData->nRefs.load() != 0, "GetData()->nRefs != 0");
        Release(pData);
        Init();
    }
}

void CString::CopyBeforeWrite()
{
    CStringData* pData = GetData();
    if (pData->nRefs.load() > 1) {
        // Copy first, release afterwards: once our reference is gone another
        // holder may free the block at any moment.
        const int nLen = pData->nDataLength;
        CStringData* pNew = NewBlock(nLen);
        std::memcpy(pNew->data(), pData->data(), static_cast<size_t>(nLen) + 1);
        m_pchData = pNew->data();
        Release(pData);
    }
    UASSERT_TEXT(GetData()->nRefs.load() <= 1, "GetData()->nRefs <= 1");
}

void CString::AllocBeforeWrite(int nLen)
{
    if (GetData()->nRefs.load() > 1 || nLen > GetData()->nAllocLength) {
        Release();
        AllocBuffer(nLen);
    }
    UASSERT_TEXT(GetData()->nRefs.load() <= 1, "GetData()->nRefs <= 1");
}

void CString::AllocCopy(CString& dest, int nCopyLen, int nCopyIndex, int nExtraLen) const
{
    const int64_t nNewLen = static_cast<int64_t>(nCopyLen) + nExtraLen;
    if (nNewLen <= 0) {
        dest.Init();
        return;
    }
    dest.AllocBuffer(static_cast<int>(std::min<int64_t>(nNewLen, kMaxLength + 1)));
    if (dest.GetData() != afxDataNil && nCopyLen > 0)
        std::memcpy(dest.m_pchData, m_pchData + nCopyIndex, static_cast<size_t>(nCopyLen));
}

void CString::AssignCopy(int nSrcLen, LPCTSTR lpszSrcData)
{
    if (nSrcLen < 0)
        nSrcLen = 0;
    CStringData* pData = GetData();
    if (pData->nRefs.load() > 1 || nSrcLen > pData->nAllocLength) {
        // The source may lie inside our own block: copy before releasing it.
        if (nSrcLen == 0) {
            Release();
            return;
        }
        CStringData* pNew = NewBlock(nSrcLen);
        std::memcpy(pNew->data(), lpszSrcData, static_cast<size_t>(nSrcLen));
        m_pchData = pNew->data();
        Release(pData);
    } else {
        if (pData == afxDataNil)
            return; // nSrcLen is 0 here
        if (nSrcLen > 0 && lpszSrcData != m_pchData)
            std::memmove(m_pchData, lpszSrcData, static_cast<size_t>(nSrcLen));
        pData->nDataLength = nSrcLen;
        m_pchData[nSrcLen] = '\0';
    }
    UASSERT_TEXT(GetData()->nRefs.load() <= 1, "GetData()->nRefs <= 1");
}

void CString::ConcatCopy(int nSrc1Len, LPCTSTR lpszSrc1Data, int nSrc2Len, LPCTSTR lpszSrc2Data)
{
    const int64_t nNewLen = static_cast<int64_t>(nSrc1Len) + nSrc2Len;
    if (nNewLen == 0)
        return;
    if (nNewLen > kMaxLength || nNewLen < 0) {
        UASSERT_TEXT(false, "nLen <= 0x7fffffff-1");
        return;
    }
    CStringData* pNew = NewBlock(static_cast<int>(nNewLen));
    if (nSrc1Len > 0)
        std::memcpy(pNew->data(), lpszSrc1Data, static_cast<size_t>(nSrc1Len));
    if (nSrc2Len > 0)
        std::memcpy(pNew->data() + nSrc1Len, lpszSrc2Data, static_cast<size_t>(nSrc2Len));
    m_pchData = pNew->data();
}

void CString::ConcatInPlace(int nSrcLen, LPCTSTR lpszSrcData)
{
    if (nSrcLen <= 0)
        return;
    CStringData* pData = GetData();
    const int64_t nNewLen = static_cast<int64_t>(pData->nDataLength) + nSrcLen;
    if (nNewLen > kMaxLength) {
        UASSERT_TEXT(false, "nLen <= 0x7fffffff-1");
        return;
    }
    if (pData->nRefs.load() > 1 || nNewLen > pData->nAllocLength) {
        // Texts built by appends in a loop would copy themselves at every
        // append: a new block gets room for half as much again, so n appends
        // cost amortised linear time.
        const int nAlloc = static_cast<int>(std::min<int64_t>(kMaxLength, nNewLen + nNewLen / 2));
        CStringData* pNew = NewBlock(static_cast<int>(nNewLen), nAlloc);
        std::memcpy(pNew->data(), m_pchData, static_cast<size_t>(pData->nDataLength));
        std::memcpy(pNew->data() + pData->nDataLength, lpszSrcData, static_cast<size_t>(nSrcLen));
        m_pchData = pNew->data();
        Release(pData);
    } else {
        std::memmove(m_pchData + pData->nDataLength, lpszSrcData, static_cast<size_t>(nSrcLen));
        pData->nDataLength += nSrcLen;
        UASSERT_TEXT(pData->nDataLength <= pData->nAllocLength, "GetData()->nDataLength <= GetData()->nAllocLength");
        m_pchData[pData->nDataLength] = '\0';
    }
}

// ---------------------------------------------------------------------------
// Construction and assignment

CString::CString()
{
    Init();
}

void CString::CopyLockedOrEmpty(const CString& stringSrc)
{
    CStringData* pSrc = stringSrc.GetData();
    UASSERT_TEXT(pSrc->nRefs.load() != 0, "stringSrc.GetData()->nRefs != 0");
    // Locked or empty source: take an own copy of all its characters.
    Init();
    const int nLen = pSrc->nDataLength;
    if (nLen > 0) {
        AllocBuffer(nLen);
        std::memcpy(m_pchData, stringSrc.m_pchData, static_cast<size_t>(nLen));
    }
}

CString::CString(LPCTSTR lpsz)
{
    Init();
    const size_t nLen = lpsz != nullptr ? std::strlen(lpsz) : 0;
    if (nLen != 0) {
        AllocBuffer(static_cast<int>(std::min<size_t>(nLen, kMaxLength + 1)));
        if (GetData() != afxDataNil)
            std::memcpy(m_pchData, lpsz, static_cast<size_t>(GetLength()));
    }
}

CString::CString(char ch, int nRepeat)
{
    Init();
    if (nRepeat >= 1) {
        AllocBuffer(nRepeat);
        if (GetData() != afxDataNil)
            std::memset(m_pchData, ch, static_cast<size_t>(GetLength()));
    }
}

CString::CString(LPCSTR lpch, int nLength)
{
    Init();
    if (nLength != 0) {
        UASSERT_TEXT(AfxIsValidAddress(lpch, nLength, false), "AfxIsValidAddress(lpch, nLength, false)");
        if (lpch == nullptr)
            return;
        AllocBuffer(nLength);
        if (GetData() != afxDataNil)
            std::memcpy(m_pchData, lpch, static_cast<size_t>(nLength));
    }
}

CString::CString(const char* text, int length, const char* fallback)
{
    Init();
    if (text == nullptr) {
        *this = fallback;
        return;
    }
    // strnlen never reads past the first NUL, so a length beyond the text is harmless.
    const size_t n = length < 1 ? std::strlen(text) : strnlen(text, static_cast<size_t>(length));
    if (n > 0)
        AssignCopy(static_cast<int>(std::min<size_t>(n, kMaxLength)), text);
}

CString::CString(const char* text, size_t maxLength)
{
    Init();
    if (text == nullptr)
        return;
    const size_t n = maxLength == 0 ? std::strlen(text) : strnlen(text, maxLength);
    if (n > 0)
        AssignCopy(static_cast<int>(std::min<size_t>(n, kMaxLength)), text);
}

const CString& CString::operator=(const CString& stringSrc)
{
    if (m_pchData == stringSrc.m_pchData)
        return *this;
    CStringData* pData = GetData();
    CStringData* pSrc = stringSrc.GetData();
    if ((pData->nRefs.load() < 0 && pData != afxDataNil) || pSrc->nRefs.load() < 0) {
        AssignCopy(pSrc->nDataLength, stringSrc.m_pchData);
    } else {
        Release();
        UASSERT_TEXT(pSrc != afxDataNil, "stringSrc.GetData() != afxDataNil");
        m_pchData = stringSrc.m_pchData;
        pSrc->nRefs.fetch_add(1);
    }
    return *this;
}

const CString& CString::operator=(LPCTSTR lpsz)
{
    UASSERT_TEXT(lpsz == nullptr || AfxIsValidString(lpsz, false), "lpsz == __null || AfxIsValidString(lpsz, false)");
    if (lpsz == m_pchData)
        return *this;
    const size_t nLen = lpsz != nullptr ? std::strlen(lpsz) : 0;
    AssignCopy(static_cast<int>(std::min<size_t>(nLen, kMaxLength)), lpsz);
    return *this;
}

const CString& CString::operator=(char ch)
{
    AssignCopy(1, &ch);
    return *this;
}

// ---------------------------------------------------------------------------
// Concatenation

CString operator+(const CString& string1, const CString& string2)
{
    CString s;
    s.ConcatCopy(string1.GetLength(), string1.m_pchData, string2.GetLength(), string2.m_pchData);
    return s;
}

CString operator+(const CString& string, LPCTSTR lpsz)
{
    UASSERT_TEXT(lpsz == nullptr || AfxIsValidString(lpsz, false), "lpsz == __null || AfxIsValidString(lpsz, false)");
    CString s;
    const int n = lpsz != nullptr ? static_cast<int>(std::min<size_t>(std::strlen(lpsz), kMaxLength)) : 0;
    s.ConcatCopy(string.GetLength(), string.m_pchData, n, lpsz);
    return s;
}

CString operator+(LPCTSTR lpsz, const CString& string)
{
    UASSERT_TEXT(lpsz == nullptr || AfxIsValidString(lpsz, false), "lpsz == __null || AfxIsValidString(lpsz, false)");
    CString s;
    const int n = lpsz != nullptr ? static_cast<int>(std::min<size_t>(std::strlen(lpsz), kMaxLength)) : 0;
    s.ConcatCopy(n, lpsz, string.GetLength(), string.m_pchData);
    return s;
}

CString operator+(const CString& string, char ch)
{
    CString s;
    s.ConcatCopy(string.GetLength(), string.m_pchData, 1, &ch);
    return s;
}

CString operator+(char ch, const CString& string)
{
    CString s;
    s.ConcatCopy(1, &ch, string.GetLength(), string.m_pchData);
    return s;
}

const CString& CString::operator+=(LPCTSTR lpsz)
{
    UASSERT_TEXT(lpsz == nullptr || AfxIsValidString(lpsz, false), "lpsz == __null || AfxIsValidString(lpsz, false)");
    if (lpsz != nullptr)
        ConcatInPlace(static_cast<int>(std::min<size_t>(std::strlen(lpsz), kMaxLength)), lpsz);
    return *this;
}

const CString& CString::operator+=(const CString& string)
{
    ConcatInPlace(string.GetLength(), string.m_pchData);
    return *this;
}

const CString& CString::operator+=(char ch)
{
    if (ch != '\0')
        ConcatInPlace(1, &ch);
    return *this;
}

// ---------------------------------------------------------------------------
// Comparison

int CString::Compare(LPCTSTR lpsz) const
{
    return std::strcmp(m_pchData, lpsz != nullptr ? lpsz : "");
}

bool operator==(const CString& s1, const CString& s2)
{
    return s1.Compare(s2) == 0;
}
bool operator==(const CString& s1, LPCTSTR s2)
{
    return s1.Compare(s2) == 0;
}
bool operator==(LPCTSTR s1, const CString& s2)
{
    return s2.Compare(s1) == 0;
}
bool operator!=(const CString& s1, const CString& s2)
{
    return s1.Compare(s2) != 0;
}
bool operator!=(const CString& s1, LPCTSTR s2)
{
    return s1.Compare(s2) != 0;
}
bool operator!=(LPCTSTR s1, const CString& s2)
{
    return s2.Compare(s1) != 0;
}
bool operator<(const CString& s1, const CString& s2)
{
    return s1.Compare(s2) < 0;
}

// ---------------------------------------------------------------------------
// Buffer access and locking

LPTSTR CString::GetBuffer(int nMinBufLength)
{
    UASSERT_TEXT(nMinBufLength >= 0, "nMinBufLength >= 0");
    if (nMinBufLength < 0)
        nMinBufLength = 0;
    CStringData* pData = GetData();
    if (pData->nRefs.load() > 1 || nMinBufLength > pData->nAllocLength) {
        const int nOldLen = pData->nDataLength;
        const int nNewLen = std::max(nMinBufLength, nOldLen);
        if (nNewLen > kMaxLength) {
            UASSERT_TEXT(false, "nLen <= 0x7fffffff-1");
        } else {
            CStringData* pNew = NewBlock(nNewLen);
            std::memcpy(pNew->data(), pData->data(), static_cast<size_t>(nOldLen) + 1);
            pNew->nDataLength = nOldLen;
            m_pchData = pNew->data();
            Release(pData);
        }
    }
    UASSERT_TEXT(GetData()->nRefs.load() <= 1, "GetData()->nRefs <= 1");
    UASSERT_TEXT(m_pchData != nullptr, "m_pchData != __null");
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    CopyBeforeWrite();
    CStringData* pData = GetData();
    if (nNewLength == -1)
        nNewLength = static_cast<int>(strnlen(m_pchData, static_cast<size_t>(pData->nAllocLength)));
    UASSERT_TEXT(nNewLength <= pData->nAllocLength, "nNewLength <= GetData()->nAllocLength");
    // Never write outside the block, whatever the caller claims.
    nNewLength = std::max(0, std::min(nNewLength, pData->nAllocLength));
    if (pData == afxDataNil)
        return;
    pData->nDataLength = nNewLength;
    m_pchData[nNewLength] = '\0';
}

LPTSTR CString::GetBufferSetLength(int nNewLength)
{
    UASSERT_TEXT(nNewLength >= 0, "nNewLength >= 0");
    if (nNewLength < 0)
        nNewLength = 0;
    GetBuffer(nNewLength);
    CStringData* pData = GetData();
    if (pData != afxDataNil) {
        nNewLength = std::min(nNewLength, pData->nAllocLength);
        pData->nDataLength = nNewLength;
        m_pchData[nNewLength] = '\0';
    }
    return m_pchData;
}

void CString::FreeExtra()
{
    CStringData* pData = GetData();
    UASSERT_TEXT(pData->nDataLength <= pData->nAllocLength, "GetData()->nDataLength <= GetData()->nAllocLength");
    if (pData->nDataLength != pData->nAllocLength) {
        Init();
        if (pData->nDataLength > 0) {
            CStringData* pNew = NewBlock(pData->nDataLength);
            std::memcpy(pNew->data(), pData->data(), static_cast<size_t>(pData->nDataLength));
            m_pchData = pNew->data();
        }
        Release(pData);
    }
    UASSERT_TEXT(m_pchData[GetData()->nDataLength] == '\0', "m_pchData[GetData()->nDataLength] == '\\0'");
}

LPTSTR CString::LockBuffer()
{
    LPTSTR lpsz = GetBuffer(0);
    if (GetData() != afxDataNil)
        GetData()->nRefs.store(-1);
    return lpsz;
}

void CString::UnlockBuffer()
{
    UASSERT_TEXT(GetData()->nRefs.load() == -1, "GetData()->nRefs == -1");
    if (GetData() != afxDataNil)
        GetData()->nRefs.store(1);
}

void CString::Empty()
{
    if (GetData()->nDataLength == 0)
        return;
    if (GetData()->nRefs.load() >= 0)
        Release();
    else
        *this = afxChNil;
    UASSERT_TEXT(GetData()->nDataLength == 0, "GetData()->nDataLength == 0");
    UASSERT_TEXT(GetData()->nRefs.load() < 0 || GetData()->nAllocLength == 0,
                 "GetData()->nRefs < 0 || GetData()->nAllocLength == 0");
}

int wipeString(CString& text)
{
    const int nLen = text.GetLength();
    if (nLen > 0) {
        char* p = text.GetBuffer(nLen);
        volatile char* v = p;
        for (int i = 0; i < nLen; ++i)
            v[i] = '\0';
        text.ReleaseBuffer();
    }
    text.Empty();
    return 1;
}

// ---------------------------------------------------------------------------
// Access, search and extraction

char CString::GetAt(int nIndex) const
{
    UASSERT_TEXT(nIndex < GetData()->nDataLength, "nIndex < GetData()->nDataLength");
    if (nIndex < 0 || nIndex >= GetData()->nDataLength)
        return '\0';
    return m_pchData[nIndex];
}

char CString::operator[](int nIndex) const
{
    UASSERT_TEXT(nIndex >= 0, "nIndex >= 0");
    UASSERT_TEXT(nIndex < GetData()->nDataLength, "nIndex < GetData()->nDataLength");
    if (nIndex < 0 || nIndex >= GetData()->nDataLength)
        return '\0';
    return m_pchData[nIndex];
}

void CString::SetAt(int nIndex, char ch)
{
    UASSERT_TEXT(nIndex >= 0, "nIndex >= 0");
    UASSERT_TEXT(nIndex < GetData()->nDataLength, "nIndex < GetData()->nDataLength");
    if (nIndex < 0 || nIndex >= GetData()->nDataLength)
        return;
    CopyBeforeWrite();
    m_pchData[nIndex] = ch;
}

int CString::Find(char ch) const
{
    const char* p = std::strchr(m_pchData, ch);
    return p == nullptr ? -1 : static_cast<int>(p - m_pchData);
}

int CString::Find(char ch, int nStart) const
{
    nStart = clampStart(nStart);
    if (nStart > GetLength())
        return -1;
    const char* p = std::strchr(m_pchData + nStart, ch);
    return p == nullptr ? -1 : static_cast<int>(p - m_pchData);
}

int CString::Find(LPCTSTR lpszSub) const
{
    return Find(lpszSub, 0);
}

int CString::Find(LPCTSTR lpszSub, int nStart) const
{
    UASSERT_TEXT(AfxIsValidString(lpszSub, false), "AfxIsValidString(lpszSub, false)");
    if (lpszSub == nullptr)
        return -1;
    nStart = clampStart(nStart);
    if (nStart > GetLength())
        return -1;
    const char* p = std::strstr(m_pchData + nStart, lpszSub);
    return p == nullptr ? -1 : static_cast<int>(p - m_pchData);
}

int CString::FindOneOf(LPCTSTR lpszCharSet, int nStart) const
{
    UASSERT_TEXT(AfxIsValidString(lpszCharSet, false), "AfxIsValidString(lpszCharSet, false)");
    if (lpszCharSet == nullptr)
        return -1;
    nStart = clampStart(nStart);
    if (nStart >= GetLength())
        return -1;
    const char* p = std::strpbrk(m_pchData + nStart, lpszCharSet);
    return p == nullptr ? -1 : static_cast<int>(p - m_pchData);
}

int CString::ReverseFind(char ch) const
{
    const char* p = std::strrchr(m_pchData, ch);
    return p == nullptr ? -1 : static_cast<int>(p - m_pchData);
}

CString CString::Mid(int nFirst, int nCount) const
{
    const int nLen = GetLength();
    if (nFirst < 0)
        nFirst = 0;
    if (nCount < 0)
        nCount = 0;
    if (nFirst > nLen)
        nCount = 0;
    else if (nCount > nLen - nFirst)
        nCount = nLen - nFirst;
    if (nFirst == 0 && nCount == nLen)
        return *this;
    CString dest;
    AllocCopy(dest, nCount, nFirst, 0);
    return dest;
}

CString CString::Mid(int nFirst) const
{
    const int nLen = GetLength();
    const int nFrom = nFirst < 0 ? 0 : nFirst;
    return Mid(nFrom, nFrom > nLen ? 0 : nLen - nFrom);
}

CString CString::Left(int nCount) const
{
    const int nLen = GetLength();
    if (nCount < 0)
        nCount = 0;
    if (nCount >= nLen)
        return *this;
    CString dest;
    AllocCopy(dest, nCount, 0, 0);
    return dest;
}

CString CString::Right(int nCount) const
{
    const int nLen = GetLength();
    if (nCount < 0)
        nCount = 0;
    if (nCount >= nLen)
        return *this;
    CString dest;
    AllocCopy(dest, nCount, nLen - nCount, 0);
    return dest;
}

CString CString::SpanIncluding(LPCTSTR lpszCharSet) const
{
    UASSERT_TEXT(AfxIsValidString(lpszCharSet, false), "AfxIsValidString(lpszCharSet, false)");
    if (lpszCharSet == nullptr)
        return CString();
    return Left(static_cast<int>(std::strspn(m_pchData, lpszCharSet)));
}

CString CString::SpanExcluding(LPCTSTR lpszCharSet) const
{
    UASSERT_TEXT(AfxIsValidString(lpszCharSet, false), "AfxIsValidString(lpszCharSet, false)");
    if (lpszCharSet == nullptr)
        return *this;
    return Left(static_cast<int>(std::strcspn(m_pchData, lpszCharSet)));
}

// ---------------------------------------------------------------------------
// Modification in place

int CString::Replace(char chOld, char chNew)
{
    if (chOld == chNew)
        return 0;
    int nCount = 0;
    const int nLen = GetLength();
    for (int i = 0; i < nLen; ++i) {
        if (m_pchData[i] == chOld) {
            if (nCount == 0)
                CopyBeforeWrite();
            m_pchData[i] = chNew;
            ++nCount;
        }
    }
    return nCount;
}

int CString::Replace(LPCTSTR lpszOld, LPCTSTR lpszNew)
{
    if (lpszOld == nullptr || *lpszOld == '\0')
        return 0;
    if (lpszNew == nullptr)
        lpszNew = "";
    const int64_t nSourceLen = static_cast<int64_t>(std::strlen(lpszOld));
    const int64_t nReplacementLen = static_cast<int64_t>(std::strlen(lpszNew));

    // Count the matches segment by segment (the text may hold NULs).
    int nCount = 0;
    const int nOldLength = GetLength();
    {
        int64_t pos = 0;
        while (pos < nOldLength) {
            const char* seg = m_pchData + pos;
            const char* target = std::strstr(seg, lpszOld);
            if (target != nullptr) {
                ++nCount;
                pos = (target - m_pchData) + nSourceLen;
            } else {
                pos += static_cast<int64_t>(std::strlen(seg)) + 1;
            }
        }
    }
    if (nCount == 0)
        return 0;

    const int64_t nNewLength = nOldLength + (nReplacementLen - nSourceLen) * nCount;
    if (nNewLength > kMaxLength) {
        UASSERT_TEXT(false, "nLen <= 0x7fffffff-1");
        return 0;
    }
    CopyBeforeWrite();
    CStringData* pData = GetData();
    if (pData->nRefs.load() > 1 || pData->nAllocLength < nNewLength) {
        CStringData* pNew = NewBlock(static_cast<int>(std::max<int64_t>(nNewLength, nOldLength)));
        std::memcpy(pNew->data(), m_pchData, static_cast<size_t>(nOldLength) + 1);
        pNew->nDataLength = nOldLength;
        m_pchData = pNew->data();
        Release(pData);
    }

    // Replace left to right; the end moves as the text grows or shrinks.
    int64_t nLength = nOldLength;
    int64_t pos = 0;
    while (pos < nLength) {
        char* seg = m_pchData + pos;
        char* target = std::strstr(seg, lpszOld);
        if (target != nullptr) {
            const int64_t tpos = target - m_pchData;
            const int64_t nBalance = nLength - (tpos + nSourceLen);
            std::memmove(target + nReplacementLen, target + nSourceLen, static_cast<size_t>(nBalance));
            std::memcpy(target, lpszNew, static_cast<size_t>(nReplacementLen));
            nLength += nReplacementLen - nSourceLen;
            m_pchData[nLength] = '\0';
            pos = tpos + nReplacementLen;
        } else {
            pos += static_cast<int64_t>(std::strlen(seg)) + 1;
        }
    }
    UASSERT_TEXT(m_pchData[nNewLength] == '\0', "m_pchData[nNewLength] == '\\0'");
    GetData()->nDataLength = static_cast<int>(nNewLength);
    return nCount;
}

void CString::TrimLeft()
{
    CopyBeforeWrite();
    if (GetLength() == 0)
        return;
    const char* lpsz = m_pchData;
    while (std::isspace(static_cast<unsigned char>(*lpsz)))
        ++lpsz;
    if (lpsz != m_pchData) {
        const int nDataLength = GetLength() - static_cast<int>(lpsz - m_pchData);
        std::memmove(m_pchData, lpsz, static_cast<size_t>(nDataLength) + 1);
        GetData()->nDataLength = nDataLength;
    }
}

void CString::TrimRight()
{
    CopyBeforeWrite();
    if (GetLength() == 0)
        return;
    char* lpsz = m_pchData;
    char* lpszLast = nullptr;
    while (*lpsz != '\0') {
        if (std::isspace(static_cast<unsigned char>(*lpsz))) {
            if (lpszLast == nullptr)
                lpszLast = lpsz;
        } else {
            lpszLast = nullptr;
        }
        ++lpsz;
    }
    if (lpszLast != nullptr) {
        *lpszLast = '\0';
        GetData()->nDataLength = static_cast<int>(lpszLast - m_pchData);
    }
}

void CString::MakeUpper()
{
    CopyBeforeWrite();
    const int nLen = GetLength();
    for (int i = 0; i < nLen; ++i) {
        const unsigned char c = static_cast<unsigned char>(m_pchData[i]);
        if (std::islower(c))
            m_pchData[i] = static_cast<char>(std::toupper(c));
    }
}

void CString::MakeLower()
{
    CopyBeforeWrite();
    const int nLen = GetLength();
    for (int i = 0; i < nLen; ++i) {
        const unsigned char c = static_cast<unsigned char>(m_pchData[i]);
        if (std::isupper(c))
            m_pchData[i] = static_cast<char>(std::tolower(c));
    }
}

void CString::MakeReverse()
{
    CopyBeforeWrite();
    std::reverse(m_pchData, m_pchData + GetLength());
}

// ---------------------------------------------------------------------------
// Formatting

void CString::Format(LPCTSTR lpszFormat, ...)
{
    va_list argList;
    va_start(argList, lpszFormat);
    FormatV(lpszFormat, argList);
    va_end(argList);
}

void CString::FormatV(LPCTSTR lpszFormat, va_list argList)
{
    UASSERT_TEXT(AfxIsValidString(lpszFormat, false), "AfxIsValidString(lpszFormat, false)");
    if (lpszFormat == nullptr) {
        Empty();
        return;
    }
    // Measure with the real formatter on a copy of the arguments, then format
    // into a fresh block: the arguments may point into this very string.
    va_list argListSave;
    va_copy(argListSave, argList);
    const int nMaxLen = std::vsnprintf(nullptr, 0, lpszFormat, argListSave);
    va_end(argListSave);
    if (nMaxLen < 0 || nMaxLen > kMaxLength) {
        UASSERT_TEXT(false, "vsnprintf(__null, 0, lpszFormat, argListSave) >= 0");
        Empty();
        return;
    }
    CString result;
    if (nMaxLen > 0) {
        result.m_pchData = NewBlock(nMaxLen)->data();
        va_copy(argListSave, argList);
        const int nWritten =
            std::vsnprintf(result.m_pchData, static_cast<size_t>(nMaxLen) + 1, lpszFormat, argListSave);
        va_end(argListSave);
        UASSERT_TEXT(nWritten < nMaxLen + 1, "vsnprintf(m_pchData, nMaxLen+1, lpszFormat, argListSave) < nMaxLen+1");
        result.ReleaseBuffer();
    }
    *this = result;
}
