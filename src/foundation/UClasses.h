#pragma once
// Object root and containers of the utility library: UObject, AutoMemory,
// UList (a lock-guarded pointer array), the key/value tables UHashTable and
// UPropertyList, the string lists, and the blob list.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "foundation/Array.h"
#include "foundation/String.h"
#include "foundation/m_sync.h"

class UObject
{
public:
    UObject();
    UObject(const UObject& other);
    UObject& operator=(const UObject& other);
    virtual ~UObject();

    int getLastError() const { return m_lastError; }
    const CString& getLastErrorText() const { return m_lastErrorText; }
    void setLastError(int code, const CString& text)
    {
        m_lastError = code;
        m_lastErrorText = text;
    }
    void clearLastError()
    {
        m_lastError = 0;
        m_lastErrorText.Empty();
    }

protected:
    int m_lastError;
    CString m_lastErrorText;
    CString m_reserved;
};

// Owned heap block (malloc'ed). Every allocation failure, an impossible size
// included, throws "malloc error (size)".
class AutoMemory : public UObject
{
public:
    AutoMemory();
    explicit AutoMemory(uint32_t size);
    AutoMemory(const void* data, uint32_t size);
    AutoMemory(const AutoMemory& other);
    AutoMemory& operator=(const AutoMemory& other);
    ~AutoMemory() override;

    void* malloc(int size, uint32_t flags);
    void* realloc(uint32_t size);
    void* reserve(uint32_t size);
    void* grow(uint32_t extra);
    void free();
    // 0 also with no buffer (nothing is touched then); -1 when path is a link,
    // no regular file, another's file, or cannot be written whole.
    int saveToFile(const char* path) const;

    void* getBuffer() const { return m_buffer; }
    uint32_t getSize() const { return m_size; }
    template <class T>
    T* as() const
    {
        return static_cast<T*>(m_buffer);
    }

private:
    void* allocate(uint64_t size, uint64_t reported);

    void* m_buffer;
    uint32_t m_size;
};

// Ordered array of UObject pointers. The list itself is the clients' lock;
// its own add, remove and delete operations take the inner lock. It does not
// own its elements. The array grows by half its size when full, so that
// appending stays cheap for the long lists built from replies.
class UList : public UCriticalSection
{
public:
    UList();
    UList(const UList&) = delete;
    UList& operator=(const UList&) = delete;
    virtual ~UList();

    int addObject(UObject* object);
    int removeObject(int index);
    int removeAt(int index);
    UObject* getObject(int index) const;
    int deleteObjects();
    void removeAll();
    int getCount() const { return m_count; }

private:
    UObject** objects() const { return m_Objects.as<UObject*>(); }

    UCriticalSection m_innerLock;
    int m_count;
    AutoMemory m_Objects;
};

class UHashTableItem : public UObject
{
public:
    UHashTableItem(const char* key, const char* value);
    CString m_key;
    CString m_value;
};

// Ordered list of key/value items; keys are matched ignoring ASCII case
// except by indexOfKey. Owns its items. An index from the case-folded key to
// the first item of that key serves setValue and the lookups, so that a table
// built from a long reply costs time in proportion to its length. Item keys
// are not to be changed in place.
class UHashTable : public UObject
{
public:
    UHashTable();
    UHashTable(const UHashTable&) = delete;
    UHashTable& operator=(const UHashTable&) = delete;
    ~UHashTable() override;

    void setValue(const char* key, const char* value);
    UHashTableItem* findProperty(const char* key) const;
    CString getPropertyValue(const char* key, const char* defaultValue) const;
    int indexOfKey(const char* key);
    int findContaining(const CString& text, int where);
    int getCount() const { return m_list.getCount(); }
    const char* getAt(int index, int which) const;
    UHashTableItem* getItem(int index) const;
    int removeAt(int index);
    int removeKey(const char* key);
    void removeAll();
    void lock() { m_list.lock(); }
    void unlock() { m_list.unlock(); }

protected:
    // Appends the item as it stands (a key already present included);
    // deletes it when the append fails.
    void append(UHashTableItem* item);

private:
    void indexFirstOf(const std::string& folded);

    UList m_list;
    std::unordered_map<std::string, UHashTableItem*> m_index;
};

class UPropertyList : public UHashTable
{
public:
    UPropertyList() = default;
    // Copies hold their own texts: a list handed to another thread shares
    // no buffer with its source.
    UPropertyList(const UPropertyList& other);
    UPropertyList& operator=(const UPropertyList& other);

    // The value of the first entry named name (ignoring ASCII case), or a new
    // entry at the end; a null name always appends.
    void setProperty(const char* name, const char* value);
};

class UStringsItem : public UObject
{
public:
    explicit UStringsItem(const char* text);
    UStringsItem(const unsigned char* bytes, uint32_t length);
    ~UStringsItem() override;
    UStringsItem(const UStringsItem&) = delete;
    UStringsItem& operator=(const UStringsItem&) = delete;

    char* m_text;
};

class UStrings : public UObject
{
public:
    UStrings();
    UStrings(const char* text, char separator, uint32_t flags);
    UStrings(const UStrings& other);
    UStrings& operator=(const UStrings&) = delete;
    ~UStrings() override;

    int add(const char* text);
    int add(const unsigned char* bytes, uint32_t length);
    const char* split(const char* text, char separator, uint32_t flags);
    int getCount() const { return m_list.getCount(); }
    const char* getAt(int index) const;
    int findPrefixOf(const char* text) const;
    void clear();
    int removeAndDelete(int index);

    char getSeparator() const { return m_separator; }
    void setSeparator(char separator) { m_separator = separator; }

private:
    UList m_list;
    char m_separator;
};

class UStringListItem : public UObject
{
public:
    UStringListItem(const CString& first, const CString& second);
    CString m_first;
    CString m_second;
};

class UStringList : public UObject
{
public:
    UStringList() = default;
    ~UStringList() override;
    UStringList(const UStringList&) = delete;
    UStringList& operator=(const UStringList&) = delete;

    int add(const char* first, const char* second);
    int removeAndDelete(int index);
    int getCount() const { return m_list.getCount(); }
    UStringListItem* getItem(int index) const;

private:
    UList m_list;
};

class UBlobListItem : public UObject
{
public:
    UBlobListItem(const char* name, const unsigned char* bytes, uint32_t length);
    UBlobListItem(const char* name, const CByteArray* bytes);
    CString m_name;
    CByteArray m_data;
};

class UBlobList : public UObject
{
public:
    UBlobList() = default;
    ~UBlobList() override;
    UBlobList(const UBlobList&) = delete;
    UBlobList& operator=(const UBlobList&) = delete;

    int add(const char* name, const unsigned char* bytes, uint32_t length);
    int add(const char* name, const CByteArray* bytes);
    const unsigned char* getValue(const char* name, int* length);
    int indexOfKey(const char* name);
    int getCount() const { return m_list.getCount(); }

private:
    UList m_list;
};

CString getEnvironmentText(const char* name, const char* defaultValue);
