#include "foundation/UClasses.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/Helpers.h"
#include "foundation/UException.h"
#include "foundation/UserFiles.h"
#include "foundation/str_helper.h"

namespace {

const char kSourceFile[] = "/UClasses";

void trimSpaces(char* text)
{
    if (text == nullptr)
        return;
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ')
        text[--length] = '\0';
    size_t start = 0;
    while (text[start] == ' ')
        ++start;
    if (start > 0)
        std::memmove(text, text + start, length - start + 1);
}

// The index key of a table key: ASCII letters folded as compareNoCase
// folds them; a null key is the empty key.
std::string foldedKey(const char* key)
{
    return asciiLowered(key);
}

} // namespace

// ---------------------------------------------------------------------------
// UObject

UObject::UObject() : m_lastError(0) {}

UObject::UObject(const UObject& other)
    : m_lastError(other.m_lastError), m_lastErrorText(other.m_lastErrorText), m_reserved(other.m_reserved)
{}

UObject& UObject::operator=(const UObject& other)
{
    if (this != &other) {
        m_lastError = other.m_lastError;
        m_lastErrorText = other.m_lastErrorText;
        m_reserved = other.m_reserved;
    }
    return *this;
}

UObject::~UObject() = default;

// ---------------------------------------------------------------------------
// AutoMemory

AutoMemory::AutoMemory() : m_buffer(nullptr), m_size(0) {}

AutoMemory::AutoMemory(uint32_t size) : m_buffer(nullptr), m_size(0)
{
    if (size > 0)
        std::memset(allocate(size, size), 0, size);
}

AutoMemory::AutoMemory(const void* data, uint32_t size) : m_buffer(nullptr), m_size(0)
{
    if (size > 0) {
        void* buffer = allocate(size, size);
        if (data != nullptr)
            std::memcpy(buffer, data, size);
        else
            std::memset(buffer, 0, size);
    }
}

AutoMemory::AutoMemory(const AutoMemory& other) : UObject(), m_buffer(nullptr), m_size(0)
{
    if (other.m_size > 0) {
        realloc(other.m_size);
        std::memcpy(m_buffer, other.m_buffer, other.m_size);
    }
}

AutoMemory& AutoMemory::operator=(const AutoMemory& other)
{
    if (this == &other)
        return *this;
    if (other.m_size == 0) {
        free();
        return *this;
    }
    // Copy into a new block first: when that allocation fails, this object
    // keeps its old contents instead of being left empty.
    AutoMemory copy;
    copy.allocate(other.m_size, other.m_size);
    std::memcpy(copy.m_buffer, other.m_buffer, other.m_size);
    std::swap(m_buffer, copy.m_buffer);
    std::swap(m_size, copy.m_size);
    return *this;
}

AutoMemory::~AutoMemory()
{
    std::free(m_buffer);
}

void AutoMemory::free()
{
    std::free(m_buffer);
    m_buffer = nullptr;
    m_size = 0;
}

// Allocates a new block of `size` bytes into this object (the old one must
// already be released or kept by the caller). Sizes that do not fit the
// 32-bit size field are refused like a failed malloc.
void* AutoMemory::allocate(uint64_t size, uint64_t reported)
{
    void* buffer = nullptr;
    if (size > 0 && size <= std::numeric_limits<uint32_t>::max())
        buffer = std::malloc(static_cast<size_t>(size));
    if (buffer == nullptr) {
        char sizeText[32];
        std::snprintf(sizeText, sizeof(sizeText), "%llu", static_cast<unsigned long long>(reported));
        throw UException(-1, kSourceFile, "AutoMemory::malloc", __LINE__, "EXCEPTION - %s, %s", "malloc error (size)",
                         sizeText);
    }
    m_buffer = buffer;
    m_size = static_cast<uint32_t>(size);
    return buffer;
}

void* AutoMemory::malloc(int size, uint32_t flags)
{
    free();
    if (size < 1)
        return nullptr;
    void* buffer = allocate(static_cast<uint64_t>(size), static_cast<uint64_t>(size));
    if (flags & 1)
        std::memset(buffer, 0, static_cast<size_t>(size));
    return buffer;
}

void* AutoMemory::realloc(uint32_t size)
{
    if (size > static_cast<uint32_t>(std::numeric_limits<int>::max())) {
        // Too large for the int-sized malloc: refuse it the same way.
        free();
        allocate(0, size);
    }
    return malloc(static_cast<int>(size), 1);
}

void* AutoMemory::reserve(uint32_t size)
{
    if (m_size < size)
        return realloc(size);
    return m_buffer;
}

void* AutoMemory::grow(uint32_t extra)
{
    if (m_buffer == nullptr)
        return realloc(extra);
    uint64_t newSize = static_cast<uint64_t>(m_size) + extra;
    void* oldBuffer = m_buffer;
    uint32_t oldSize = m_size;
    void* buffer = nullptr;
    if (newSize <= std::numeric_limits<uint32_t>::max())
        buffer = std::malloc(static_cast<size_t>(newSize));
    if (buffer == nullptr) {
        char sizeText[32];
        std::snprintf(sizeText, sizeof(sizeText), "%u", extra);
        throw UException(-1, kSourceFile, "AutoMemory::malloc", __LINE__, "EXCEPTION - %s, %s", "malloc error (size)",
                         sizeText);
    }
    std::memcpy(buffer, oldBuffer, oldSize);
    std::free(oldBuffer);
    m_buffer = buffer;
    m_size = static_cast<uint32_t>(newSize);
    return buffer;
}

int AutoMemory::saveToFile(const char* path) const
{
    if (m_buffer == nullptr)
        return 0;
    // Never through a link and never over a file of another's: the bytes go
    // to a new file that then takes the name, keeping the old one's mode.
    std::string base;
    const UniqueFd folder = openParentFolder(path != nullptr ? path : "", base);
    if (folder.get() < 0)
        return -1;
    Replacement how;
    how.owner = ::geteuid();
    struct stat present {};
    if (::fstatat(folder.get(), base.c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(present.st_mode))
        how.mode = present.st_mode & 0777;
    const std::string bytes(static_cast<const char*>(m_buffer), m_size);
    return replaceFileAt(folder.get(), base, bytes, how) ? 0 : -1;
}

// ---------------------------------------------------------------------------
// UList

UList::UList() : m_count(0) {}

UList::~UList() = default;

int UList::addObject(UObject* object)
{
    if (object == nullptr)
        return -1;
    ULockHolder guard(m_innerLock);
    int result = m_count;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "UList::addObject - EXCEPTION", "addObject"), guardCode, [&] {
        const size_t pointerSize = sizeof(UObject*);
        const uint64_t wanted = (static_cast<uint64_t>(m_count) + 1) * pointerSize;
        if (wanted > std::numeric_limits<uint32_t>::max() || m_count == std::numeric_limits<int>::max())
            throw UException(-1, kSourceFile, "UList::addObject", __LINE__, "EXCEPTION - %s, %s",
                             "m_Objects.realloc error (m_count+1)",
                             static_cast<const char*>(toString(static_cast<long long>(m_count) + 1)));
        if (wanted > m_Objects.getSize()) {
            // Room for half as many again: exact for the first few, and the
            // copies of a long list add up to a multiple of its length.
            const uint64_t places = static_cast<uint64_t>(m_count) + std::max(1, m_count / 2);
            uint64_t bytes = places * pointerSize;
            if (bytes > std::numeric_limits<uint32_t>::max())
                bytes = wanted;
            // Build the new array before touching the count, so a failure leaves the list as it was.
            AutoMemory grown(static_cast<uint32_t>(bytes));
            if (m_count > 0)
                std::memcpy(grown.getBuffer(), m_Objects.getBuffer(), static_cast<size_t>(m_count) * pointerSize);
            m_Objects = grown;
        }
        objects()[m_count] = object;
        ++m_count;
        result = m_count;
    });
    return result;
}

int UList::removeObject(int index)
{
    ULockHolder guard(m_innerLock);
    return removeAt(index);
}

int UList::removeAt(int index)
{
    if (index < 0 || index >= m_count)
        return 0;
    int result = 0;
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "UList::removeObject - EXCEPTION", "removeObject"), guardCode, [&] {
        UObject** current = objects();
        int newCount = m_count - 1;
        if (newCount > 0) {
            AutoMemory shrunk(static_cast<uint32_t>(newCount * sizeof(UObject*)));
            UObject** target = shrunk.as<UObject*>();
            for (int i = 0, j = 0; i < m_count; ++i) {
                if (i != index)
                    target[j++] = current[i];
            }
            m_Objects = shrunk;
        } else {
            current[0] = nullptr; // the allocation is kept
        }
        m_count = newCount;
        result = m_count;
    });
    return result;
}

UObject* UList::getObject(int index) const
{
    if (index < 0 || index >= m_count)
        return nullptr;
    return objects()[index];
}

int UList::deleteObjects()
{
    ULockHolder guard(m_innerLock);
    int guardCode = 0;
    guardOperation(UCATCH_SITE(kSourceFile, "UList::deleteObjects() - EXCEPTION", "deleteObjects"), guardCode, [&] {
        UObject** current = objects();
        for (int i = 0; i < m_count; ++i) {
            UObject* object = current[i];
            current[i] = nullptr;
            delete object;
        }
        m_count = 0;
    });
    return 0;
}

void UList::removeAll()
{
    ULockHolder guard(m_innerLock);
    m_count = 0;
    m_Objects.free();
}

// ---------------------------------------------------------------------------
// UHashTable

UHashTableItem::UHashTableItem(const char* key, const char* value) : m_key(key), m_value(value) {}

UHashTable::UHashTable() = default;

UHashTable::~UHashTable()
{
    m_list.deleteObjects();
}

UHashTableItem* UHashTable::getItem(int index) const
{
    return static_cast<UHashTableItem*>(m_list.getObject(index));
}

void UHashTable::setValue(const char* key, const char* value)
{
    UHashTableItem* item = findProperty(key);
    if (item != nullptr) {
        item->m_value = value;
        return;
    }
    append(new UHashTableItem(key, value));
}

void UHashTable::append(UHashTableItem* item)
{
    std::unique_ptr<UHashTableItem> owned(item);
    // Indexed first: when that fails, the table is as it was. An earlier
    // item of the key stays the one found.
    const auto indexed = m_index.emplace(foldedKey(item->m_key), item);
    const int before = getCount();
    if (m_list.addObject(item) != before + 1) {
        if (indexed.second)
            m_index.erase(indexed.first);
        return; // the append failed (already logged)
    }
    owned.release();
}

// Points the index at the first item of a key after that item went.
void UHashTable::indexFirstOf(const std::string& folded)
{
    const int count = getCount();
    for (int i = 0; i < count; ++i) {
        UHashTableItem* item = getItem(i);
        if (item != nullptr && foldedKey(item->m_key) == folded) {
            m_index[folded] = item;
            return;
        }
    }
    m_index.erase(folded);
}

UHashTableItem* UHashTable::findProperty(const char* key) const
{
    if (key == nullptr)
        return nullptr;
    const auto found = m_index.find(foldedKey(key));
    return found == m_index.end() ? nullptr : found->second;
}

CString UHashTable::getPropertyValue(const char* key, const char* defaultValue) const
{
    UHashTableItem* item = findProperty(key);
    if (item != nullptr)
        return item->m_value;
    return CString(defaultValue);
}

int UHashTable::indexOfKey(const char* key)
{
    if (key == nullptr)
        return -1;
    ULockHolder guard(m_list);
    int count = getCount();
    for (int i = 0; i < count; ++i) {
        UHashTableItem* item = getItem(i);
        if (item != nullptr && std::strcmp(item->m_key, key) == 0)
            return i;
    }
    return -1;
}

int UHashTable::findContaining(const CString& text, int where)
{
    ULockHolder guard(m_list);
    int count = getCount();
    for (int i = 0; i < count; ++i) {
        UHashTableItem* item = getItem(i);
        if (item == nullptr)
            continue;
        const CString& field = where < 1 ? item->m_key : item->m_value;
        if (std::strstr(field, text) != nullptr)
            return i;
    }
    return -1;
}

const char* UHashTable::getAt(int index, int which) const
{
    UHashTableItem* item = getItem(index);
    if (item == nullptr)
        return nullptr;
    return which == 0 ? static_cast<const char*>(item->m_key) : static_cast<const char*>(item->m_value);
}

int UHashTable::removeAt(int index)
{
    UHashTableItem* item = getItem(index);
    if (item == nullptr)
        return 1;
    const int before = getCount();
    m_list.removeObject(index);
    if (getCount() == before)
        return 1; // the removal failed (already logged): the item stays listed
    const std::string folded = foldedKey(item->m_key);
    const auto indexed = m_index.find(folded);
    if (indexed != m_index.end() && indexed->second == item)
        indexFirstOf(folded);
    delete item;
    return 1;
}

int UHashTable::removeKey(const char* key)
{
    int index = indexOfKey(key);
    if (index < 0)
        return 0;
    removeAt(index);
    return 1;
}

void UHashTable::removeAll()
{
    m_index.clear();
    m_list.deleteObjects();
}

// ---------------------------------------------------------------------------
// UPropertyList

UPropertyList::UPropertyList(const UPropertyList& other) : UHashTable()
{
    *this = other;
}

UPropertyList& UPropertyList::operator=(const UPropertyList& other)
{
    if (this == &other)
        return *this;
    removeAll();
    const int count = other.getCount();
    for (int i = 0; i < count; ++i) {
        const UHashTableItem* item = other.getItem(i);
        if (item == nullptr)
            continue;
        // Appended as they stand (the source may hold names equal but for
        // case); the item copies the characters.
        append(new UHashTableItem(item->m_key, item->m_value));
    }
    return *this;
}

void UPropertyList::setProperty(const char* name, const char* value)
{
    setValue(name, value);
}

// ---------------------------------------------------------------------------
// UStrings

UStringsItem::UStringsItem(const char* text) : m_text(nullptr)
{
    if (text != nullptr) {
        size_t length = std::strlen(text);
        m_text = new char[length + 1];
        std::memcpy(m_text, text, length + 1);
    }
}

UStringsItem::UStringsItem(const unsigned char* bytes, uint32_t length) : m_text(nullptr)
{
    if (bytes != nullptr && length > 0) {
        m_text = new char[static_cast<size_t>(length) + 1];
        std::memcpy(m_text, bytes, length);
        m_text[length] = '\0';
    }
}

UStringsItem::~UStringsItem()
{
    delete[] m_text;
}

UStrings::UStrings() : m_separator(';') {}

UStrings::UStrings(const char* text, char separator, uint32_t flags) : m_separator(separator)
{
    split(text, separator, flags);
}

UStrings::UStrings(const UStrings& other) : UObject(other), m_separator(other.m_separator)
{
    int count = other.getCount();
    for (int i = 0; i < count; ++i) {
        UStringsItem* item = static_cast<UStringsItem*>(other.m_list.getObject(i));
        add(item != nullptr ? item->m_text : nullptr);
    }
}

UStrings::~UStrings()
{
    m_list.deleteObjects();
}

int UStrings::add(const char* text)
{
    UStringsItem* item = new UStringsItem(text);
    int before = getCount();
    if (m_list.addObject(item) != before + 1)
        delete item;
    return 0;
}

int UStrings::add(const unsigned char* bytes, uint32_t length)
{
    UStringsItem* item = new UStringsItem(bytes, length);
    int before = getCount();
    if (m_list.addObject(item) != before + 1)
        delete item;
    return 0;
}

const char* UStrings::split(const char* text, char separator, uint32_t flags)
{
    clear();
    if (text == nullptr)
        return nullptr;
    const char* piece = text;
    const char* last = nullptr;
    for (;;) {
        const char* found = (separator != '\0') ? std::strchr(piece, separator) : nullptr;
        if (found == nullptr)
            break;
        if (found > piece) {
            add(reinterpret_cast<const unsigned char*>(piece), static_cast<uint32_t>(found - piece));
            if (flags & 2) {
                UStringsItem* item = static_cast<UStringsItem*>(m_list.getObject(getCount() - 1));
                if (item != nullptr)
                    trimSpaces(item->m_text);
            }
        }
        if (flags & 1) {
            char one[2] = {separator, '\0'};
            add(one);
        }
        piece = found + 1;
    }
    if (*piece != '\0') {
        add(piece);
        UStringsItem* item = static_cast<UStringsItem*>(m_list.getObject(getCount() - 1));
        if (item != nullptr) {
            if (flags & 2)
                trimSpaces(item->m_text);
            last = item->m_text;
        }
    }
    return last;
}

const char* UStrings::getAt(int index) const
{
    UStringsItem* item = static_cast<UStringsItem*>(m_list.getObject(index));
    if (item == nullptr || item->m_text == nullptr)
        return "";
    return item->m_text;
}

int UStrings::findPrefixOf(const char* text) const
{
    if (text == nullptr)
        return -1;
    int count = getCount();
    for (int i = 0; i < count; ++i) {
        const char* item = getAt(i);
        if (std::strncmp(item, text, std::strlen(item)) == 0)
            return i;
    }
    return -1;
}

void UStrings::clear()
{
    m_list.deleteObjects();
}

int UStrings::removeAndDelete(int index)
{
    UObject* item = m_list.getObject(index);
    if (item == nullptr && (index < 0 || index >= getCount()))
        return 0;
    int count = m_list.removeObject(index);
    delete item;
    return count;
}

// ---------------------------------------------------------------------------
// UStringList

UStringListItem::UStringListItem(const CString& first, const CString& second) : m_first(first), m_second(second) {}

UStringList::~UStringList()
{
    m_list.deleteObjects();
}

int UStringList::add(const char* first, const char* second)
{
    UStringListItem* item = new UStringListItem(CString(first), CString(second));
    int before = getCount();
    if (m_list.addObject(item) != before + 1) {
        delete item;
        return -1;
    }
    return 0;
}

int UStringList::removeAndDelete(int index)
{
    if (index < 0 || index >= getCount())
        return 0;
    UObject* item = m_list.getObject(index);
    int count = m_list.removeObject(index);
    delete item;
    return count;
}

UStringListItem* UStringList::getItem(int index) const
{
    return static_cast<UStringListItem*>(m_list.getObject(index));
}

// ---------------------------------------------------------------------------
// UBlobList

UBlobListItem::UBlobListItem(const char* name, const unsigned char* bytes, uint32_t length) : m_name(name)
{
    if (bytes != nullptr && length > 0 && length <= static_cast<uint32_t>(std::numeric_limits<int>::max())) {
        m_data.SetSize(static_cast<int>(length), -1);
        std::memcpy(m_data.GetData(), bytes, length);
    }
}

UBlobListItem::UBlobListItem(const char* name, const CByteArray* bytes) : m_name(name)
{
    if (bytes != nullptr && bytes->GetSize() > 0) {
        m_data.SetSize(bytes->GetSize(), -1);
        std::memcpy(m_data.GetData(), bytes->GetData(), static_cast<size_t>(bytes->GetSize()));
    }
}

UBlobList::~UBlobList()
{
    m_list.deleteObjects();
}

int UBlobList::add(const char* name, const unsigned char* bytes, uint32_t length)
{
    UBlobListItem* item = new UBlobListItem(name, bytes, length);
    int before = getCount();
    if (m_list.addObject(item) != before + 1)
        delete item;
    return 1;
}

int UBlobList::add(const char* name, const CByteArray* bytes)
{
    UBlobListItem* item = new UBlobListItem(name, bytes);
    int before = getCount();
    if (m_list.addObject(item) != before + 1)
        delete item;
    return 1;
}

int UBlobList::indexOfKey(const char* name)
{
    if (name == nullptr)
        return -1;
    ULockHolder guard(m_list);
    int count = getCount();
    for (int i = 0; i < count; ++i) {
        UBlobListItem* item = static_cast<UBlobListItem*>(m_list.getObject(i));
        if (item != nullptr && std::strcmp(item->m_name, name) == 0)
            return i;
    }
    return -1;
}

const unsigned char* UBlobList::getValue(const char* name, int* length)
{
    int index = indexOfKey(name);
    if (index < 0)
        return nullptr;
    UBlobListItem* item = static_cast<UBlobListItem*>(m_list.getObject(index));
    if (item == nullptr)
        return nullptr;
    if (length != nullptr)
        *length = item->m_data.GetSize();
    return item->m_data.GetData();
}

// ---------------------------------------------------------------------------

CString getEnvironmentText(const char* name, const char* defaultValue)
{
    const char* value = name != nullptr ? std::getenv(name) : nullptr;
    if (value == nullptr || *value == '\0')
        return CString(defaultValue);
    size_t length = std::strlen(value);
    AutoMemory buffer(1000);
    if (length + 1 > buffer.getSize())
        buffer.realloc(static_cast<uint32_t>(length + 1));
    std::memcpy(buffer.getBuffer(), value, length + 1);
    return CString(buffer.as<char>());
}
