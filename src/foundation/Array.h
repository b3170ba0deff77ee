#pragma once
// Growable array template of the utility library. Elements live in one block
// allocated with array new; growth is geometric (see SetSize).

#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/String.h"

// Consistency checks of the templates only report (UASSERT_TEXT) and go on.
#define TESSAL_ARRAY_CHECK(expr) UASSERT_TEXT(expr, #expr)

template <class TYPE>
inline void ConstructElements(TYPE* pElements, int nCount)
{
    UASSERT_TEXT(nCount == 0 || AfxIsValidAddress(pElements, static_cast<int>(nCount * sizeof(TYPE)), true),
                 "nCount == 0 || AfxIsValidAddress(pElements, nCount * sizeof(TYPE))");
    for (int i = 0; i < nCount; ++i)
        pElements[i] = TYPE();
}

template <class TYPE>
inline void DestructElements(TYPE* pElements, int nCount)
{
    UASSERT_TEXT(nCount == 0 || AfxIsValidAddress(pElements, static_cast<int>(nCount * sizeof(TYPE)), true),
                 "nCount == 0 || AfxIsValidAddress(pElements, nCount * sizeof(TYPE))");
    for (int i = 0; i < nCount; ++i)
        pElements[i] = TYPE();
}

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray
{
public:
    CArray() = default;
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;
    ~CArray()
    {
        if (m_pData != nullptr) {
            DestructElements(m_pData, m_nSize);
            delete[] m_pData;
        }
    }

    int GetSize() const { return m_nSize; }
    bool IsEmpty() const { return m_nSize == 0; }

    void SetSize(int nNewSize, int nGrowBy = -1);
    void RemoveAll() { SetSize(0, -1); }

    TYPE* GetData() { return m_pData; }
    const TYPE* GetData() const { return m_pData; }

    TYPE GetAt(int nIndex) const
    {
        if (nIndex < 0 || nIndex >= m_nSize) {
            TESSAL_ARRAY_CHECK(nIndex >= 0 && nIndex < m_nSize);
            return TYPE();
        }
        return m_pData[nIndex];
    }
    void SetAt(int nIndex, ARG_TYPE newElement)
    {
        if (nIndex < 0 || nIndex >= m_nSize) {
            TESSAL_ARRAY_CHECK(nIndex >= 0 && nIndex < m_nSize);
            return;
        }
        m_pData[nIndex] = newElement;
    }
    // Callers index within 0 .. size-1; an index outside is reported.
    // An index outside is reported and gets a scratch element, never memory outside the block.
    TYPE& ElementAt(int nIndex)
    {
        if (nIndex < 0 || nIndex >= m_nSize) {
            TESSAL_ARRAY_CHECK(nIndex >= 0 && nIndex < m_nSize);
            static thread_local TYPE scratch;
            scratch = TYPE();
            return scratch;
        }
        return m_pData[nIndex];
    }
    const TYPE& ElementAt(int nIndex) const { return const_cast<CArray*>(this)->ElementAt(nIndex); }
    TYPE& operator[](int nIndex) { return ElementAt(nIndex); }
    const TYPE& operator[](int nIndex) const { return ElementAt(nIndex); }

    // An index equal to (or beyond) the size grows the array first.
    void SetAtGrow(int nIndex, ARG_TYPE newElement)
    {
        if (nIndex < 0) {
            TESSAL_ARRAY_CHECK(nIndex >= 0);
            return;
        }
        if (nIndex >= m_nSize)
            SetSize(nIndex + 1, -1);
        if (nIndex < m_nSize)
            m_pData[nIndex] = newElement;
    }
    int Add(ARG_TYPE newElement)
    {
        int nIndex = m_nSize;
        SetAtGrow(nIndex, newElement);
        return nIndex;
    }

private:
    TYPE* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
};

template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::SetSize(int nNewSize, int nGrowBy)
{
    if (nNewSize < 0) {
        // A negative size is a caller's mistake: report it and keep the array.
        TESSAL_ARRAY_CHECK(nNewSize >= 0);
        return;
    }
    if (nGrowBy != -1)
        m_nGrowBy = nGrowBy;

    if (nNewSize == 0) {
        if (m_pData != nullptr) {
            DestructElements(m_pData, m_nSize);
            delete[] m_pData;
            m_pData = nullptr;
        }
        m_nSize = m_nMaxSize = 0;
    } else if (m_pData == nullptr) {
        m_pData = new TYPE[static_cast<size_t>(nNewSize)];
        ConstructElements(m_pData, nNewSize);
        m_nSize = m_nMaxSize = nNewSize;
    } else if (nNewSize <= m_nMaxSize) {
        if (nNewSize > m_nSize) {
            ConstructElements(&m_pData[m_nSize], nNewSize - m_nSize);
        } else if (m_nSize > nNewSize) {
            DestructElements(&m_pData[nNewSize], m_nSize - nNewSize);
        }
        m_nSize = nNewSize;
    } else {
        int nGrow = m_nGrowBy;
        if (nGrow == 0) {
            nGrow = m_nSize / 8;
            nGrow = (nGrow < 4) ? 4 : ((nGrow > 1024) ? 1024 : nGrow);
        }
        long long wanted = static_cast<long long>(m_nMaxSize) + nGrow;
        int nNewMax = (wanted < nNewSize) ? nNewSize : (wanted > 0x7fffffff ? nNewSize : static_cast<int>(wanted));
        TESSAL_ARRAY_CHECK(nNewMax >= m_nMaxSize);
        TYPE* pNewData = new TYPE[static_cast<size_t>(nNewMax)];
        for (int i = 0; i < m_nSize; ++i)
            pNewData[i] = std::move(m_pData[i]);
        TESSAL_ARRAY_CHECK(nNewSize > m_nSize);
        ConstructElements(&pNewData[m_nSize], nNewSize - m_nSize);
        delete[] m_pData;
        m_pData = pNewData;
        m_nSize = nNewSize;
        m_nMaxSize = nNewMax;
    }
}

// The byte array of the library: elements are zero-filled bytes.
using CByteArray = CArray<unsigned char, unsigned char>;
