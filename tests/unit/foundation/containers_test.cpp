// Object root and containers: UList, UHashTable, UStrings, AutoMemory, byte array.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/Array.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "support/FailingMalloc.h"

namespace {

struct Counted : UObject {
    explicit Counted(int* deletions) : deletions(deletions) {}
    ~Counted() override { ++*deletions; }
    int* deletions;
};

std::string s(const CString& text)
{
    return std::string(static_cast<const char*>(text), static_cast<size_t>(text.GetLength()));
}

} // namespace

TEST(ContainersList, AddRemoveBounds)
{
    int deletions = 0;
    UList list;
    EXPECT_EQ(list.addObject(nullptr), -1);
    EXPECT_EQ(list.getCount(), 0);
    EXPECT_EQ(list.getObject(0), nullptr);
    EXPECT_EQ(list.getObject(-1), nullptr);

    Counted a(&deletions), b(&deletions), c(&deletions);
    EXPECT_EQ(list.addObject(&a), 1);
    EXPECT_EQ(list.addObject(&b), 2);
    EXPECT_EQ(list.addObject(&c), 3);

    for (int bad : {-1, 3, 100}) {
        EXPECT_EQ(list.removeObject(bad), 0) << bad;
        EXPECT_EQ(list.removeAt(bad), 0) << bad;
        EXPECT_EQ(list.getCount(), 3);
    }
    EXPECT_EQ(list.removeObject(1), 2);
    EXPECT_EQ(list.getObject(0), &a);
    EXPECT_EQ(list.getObject(1), &c);
    EXPECT_EQ(list.removeAt(0), 1);
    EXPECT_EQ(list.getObject(0), &c);
    EXPECT_EQ(list.removeObject(0), 0);
    EXPECT_EQ(list.getCount(), 0);
    EXPECT_EQ(list.getObject(0), nullptr);
    EXPECT_EQ(deletions, 0); // the list never owns its elements
}

// An add that runs out of memory at any of its allocations leaves the list
// as it was: same count, same elements.
TEST(ContainersList, AddThatRunsOutOfMemoryKeepsTheList)
{
    int deletions = 0;
    Counted a(&deletions), b(&deletions), c(&deletions);
    const size_t threePlaces = 3 * sizeof(void*);
    int calls = 0;
    {
        UList list;
        list.addObject(&a);
        list.addObject(&b);
        tessal::test::FailingMalloc counting(threePlaces);
        ASSERT_EQ(list.addObject(&c), 3);
        calls = counting.calls();
    }
    ASSERT_GE(calls, 1);
    for (int failing = 1; failing <= calls; ++failing) {
        UList list;
        list.addObject(&a);
        list.addObject(&b);
        {
            tessal::test::FailingMalloc failure(threePlaces, failing);
            EXPECT_EQ(list.addObject(&c), 2) << failing;
        }
        ASSERT_EQ(list.getCount(), 2) << failing;
        EXPECT_EQ(list.getObject(0), &a) << failing;
        EXPECT_EQ(list.getObject(1), &b) << failing;
        EXPECT_EQ(list.addObject(&c), 3) << failing;
        EXPECT_EQ(list.getObject(2), &c) << failing;
    }
}

TEST(ContainersList, DeleteObjectsDeletesInOrder)
{
    struct Numbered : UObject {
        Numbered(int number, std::string* order) : number(number), order(order) {}
        ~Numbered() override { *order += std::to_string(number); }
        int number;
        std::string* order;
    };
    std::string order;
    UList numbered;
    for (int i = 0; i < 5; ++i)
        numbered.addObject(new Numbered(i, &order));
    numbered.deleteObjects();
    EXPECT_EQ(order, "01234");
    EXPECT_EQ(numbered.getCount(), 0);
    Numbered* kept = new Numbered(5, &order);
    numbered.addObject(kept);
    numbered.removeAll();
    EXPECT_EQ(numbered.getCount(), 0);
    EXPECT_EQ(order, "01234"); // emptied, not deleted
    delete kept;
}

TEST(ContainersHashTable, CaseRules)
{
    UHashTable table;
    table.setValue("Key", "one");
    table.setValue("KEY", "two");
    ASSERT_EQ(table.getCount(), 1);
    EXPECT_STREQ(table.getAt(0, 0), "Key");
    EXPECT_STREQ(table.getAt(0, 1), "two");
    EXPECT_EQ(table.indexOfKey("KEY"), -1);
    EXPECT_EQ(table.indexOfKey("Key"), 0);
    ASSERT_NE(table.findProperty("kEy"), nullptr);
    EXPECT_EQ(s(table.findProperty("kEy")->m_value), "two");
    EXPECT_EQ(table.findProperty(nullptr), nullptr);
    EXPECT_EQ(s(table.getPropertyValue("key", "d")), "two");
    EXPECT_EQ(s(table.getPropertyValue("absent", "d")), "d");
    EXPECT_EQ(table.getAt(5, 0), nullptr);

    table.setValue(nullptr, "n1");
    table.setValue(nullptr, "n2");
    EXPECT_EQ(table.getCount(), 3); // a null key always appends
}

TEST(ContainersHashTable, RemoveAndSearch)
{
    UPropertyList table;
    table.setValue("alpha", "first value");
    table.setValue("beta", "second");
    table.setValue("gamma", "third value");
    EXPECT_EQ(table.findContaining(CString("amm"), 0), 2);
    EXPECT_EQ(table.findContaining(CString("value"), 1), 0);
    EXPECT_EQ(table.findContaining(CString("zzz"), 1), -1);
    EXPECT_EQ(table.removeKey("absent"), 0);
    EXPECT_EQ(table.removeKey("BETA"), 0); // exact match only
    EXPECT_EQ(table.removeKey("beta"), 1);
    EXPECT_EQ(table.getCount(), 2);
    EXPECT_EQ(table.removeAt(42), 1);
    EXPECT_EQ(table.getCount(), 2);
    EXPECT_STREQ(table.getAt(1, 0), "gamma");
}

// Lookups after removals find the first remaining item of a name, in any
// letter case; the null and the empty name are one name.
TEST(ContainersHashTable, LookupsAfterRemovals)
{
    const struct {
        const char* name;
        void (*change)(UPropertyList&);
        const char* lookup;
        const char* found; // value, or null for none
        int count;
    } rows[] = {
        {"removed by key", [](UPropertyList& t) { t.removeKey("Beta"); }, "BETA", nullptr, 4},
        {"removed by index", [](UPropertyList& t) { t.removeAt(0); }, "alpha", nullptr, 4},
        {"others stay", [](UPropertyList& t) { t.removeAt(1); }, "GAMMA", "3", 4},
        {"second null key", [](UPropertyList& t) { t.removeAt(3); }, "", "n2", 4},
        {"set after removal appends",
         [](UPropertyList& t) {
             t.removeKey("Beta");
             t.setValue("beta", "b");
         },
         "BeTa", "b", 5},
        {"emptied",
         [](UPropertyList& t) {
             t.removeAll();
             t.setValue("x", "y");
         },
         "alpha", nullptr, 1},
        {"copy",
         [](UPropertyList& t) {
             UPropertyList c(t);
             t.removeAll();
             t = c;
         },
         "", "n1", 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UPropertyList table;
        table.setValue("alpha", "1");
        table.setValue("Beta", "2");
        table.setValue("gamma", "3");
        table.setValue(nullptr, "n1");
        table.setValue(nullptr, "n2");
        row.change(table);
        const UHashTableItem* item = table.findProperty(row.lookup);
        if (row.found == nullptr)
            EXPECT_EQ(item, nullptr);
        else
            EXPECT_EQ(item != nullptr ? s(item->m_value) : "none", row.found);
        EXPECT_EQ(table.getCount(), row.count);
    }
}

TEST(ContainersStrings, SplitFlags)
{
    struct Case {
        const char* text;
        uint32_t flags;
        std::vector<std::string> items;
        std::string last;
    };
    const Case cases[] = {
        {"a;;b;", 0, {"a", "b"}, ""},
        {";a;;b", 0, {"a", "b"}, "b"},
        {"a;;b;", 1, {"a", ";", ";", "b", ";"}, ""},
        {" a ; b\t ;  c  ", 2, {"a", "b\t", "c"}, "c"},
        {"   ;x", 2, {"", "x"}, "x"},
        {"", 0, {}, ""},
    };
    for (const Case& c : cases) {
        UStrings list;
        const char* last = list.split(c.text, ';', c.flags);
        ASSERT_EQ(list.getCount(), static_cast<int>(c.items.size())) << c.text << " flags " << c.flags;
        for (size_t i = 0; i < c.items.size(); ++i)
            EXPECT_EQ(list.getAt(static_cast<int>(i)), c.items[i]) << c.text;
        EXPECT_EQ(last != nullptr ? std::string(last) : std::string(), c.last) << c.text;
    }
}

TEST(ContainersStrings, AccessAndCopy)
{
    UStrings list("ab,cd", ',', 0);
    EXPECT_EQ(list.getSeparator(), ',');
    EXPECT_STREQ(list.getAt(-1), "");
    EXPECT_STREQ(list.getAt(2), "");
    list.add(static_cast<const char*>(nullptr));
    EXPECT_STREQ(list.getAt(2), "");
    list.add(reinterpret_cast<const unsigned char*>("xyz"), 2);
    EXPECT_STREQ(list.getAt(3), "xy");

    UStrings copy(list);
    EXPECT_EQ(copy.getCount(), 4);
    EXPECT_EQ(copy.getSeparator(), ',');
    EXPECT_STREQ(copy.getAt(3), "xy");

    EXPECT_EQ(list.findPrefixOf("abcdef"), 0);
    EXPECT_EQ(list.findPrefixOf("cdx"), 1);
    EXPECT_EQ(list.findPrefixOf(nullptr), -1);
    UStrings withEmpty;
    withEmpty.add("");
    EXPECT_EQ(withEmpty.findPrefixOf("anything"), 0);

    EXPECT_EQ(list.removeAndDelete(0), 3);
    EXPECT_EQ(list.removeAndDelete(9), 0);
    list.clear();
    EXPECT_EQ(list.getCount(), 0);
}

TEST(ContainersOtherLists, PairsAndBlobs)
{
    UStringList pairs;
    EXPECT_EQ(pairs.add("a", "b"), 0);
    EXPECT_EQ(pairs.add("c", nullptr), 0);
    EXPECT_EQ(s(pairs.getItem(0)->m_second), "b");
    EXPECT_EQ(pairs.removeAndDelete(0), 1);
    EXPECT_EQ(pairs.removeAndDelete(5), 0);

    UBlobList blobs;
    const unsigned char bytes[] = {1, 0, 2};
    EXPECT_EQ(blobs.add("one", bytes, 3), 1);
    EXPECT_EQ(blobs.add("empty", nullptr, 0), 1);
    int length = -1;
    const unsigned char* data = blobs.getValue("one", &length);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::memcmp(data, bytes, 3), 0);
    EXPECT_EQ(blobs.getValue("ONE", &length), nullptr);
    length = -1;
    blobs.getValue("empty", &length);
    EXPECT_EQ(length, 0);

    CByteArray source;
    source.SetSize(2);
    source[0] = 9;
    EXPECT_EQ(blobs.add("copy", &source), 1);
    EXPECT_EQ(blobs.getValue("copy", nullptr)[0], 9);
}

TEST(ContainersAutoMemory, AllocationRules)
{
    AutoMemory memory;
    EXPECT_EQ(memory.malloc(0, 1), nullptr);
    EXPECT_EQ(memory.getBuffer(), nullptr);
    EXPECT_EQ(memory.getSize(), 0u);

    unsigned char* buffer = static_cast<unsigned char*>(memory.realloc(8));
    ASSERT_NE(buffer, nullptr);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(buffer[i], 0);
    buffer[0] = 7;
    EXPECT_EQ(memory.reserve(4), buffer); // big enough: unchanged
    buffer = static_cast<unsigned char*>(memory.grow(4));
    EXPECT_EQ(memory.getSize(), 12u);
    EXPECT_EQ(buffer[0], 7);

    AutoMemory copy(memory);
    EXPECT_EQ(copy.getSize(), 12u);
    EXPECT_EQ(copy.as<unsigned char>()[0], 7);
    AutoMemory empty;
    AutoMemory emptyCopy(empty);
    EXPECT_EQ(emptyCopy.getBuffer(), nullptr);
    copy = empty;
    EXPECT_EQ(copy.getSize(), 0u);
    AutoMemory& alias = copy;
    copy = alias;
    AutoMemory fromData("abc", 3);
    EXPECT_EQ(std::memcmp(fromData.getBuffer(), "abc", 3), 0);
}

TEST(ContainersAutoMemory, SizeOverflowThrowsMallocError)
{
    AutoMemory memory(16);
    try {
        memory.grow(0xFFFFFFF8u); // 16 + this does not fit 32 bits
        FAIL() << "grow did not throw";
    } catch (const UException& e) {
        ASSERT_NE(e.what(), nullptr);
        EXPECT_NE(std::string(e.what()).find("malloc error (size)"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("4294967288"), std::string::npos);
    }
    EXPECT_EQ(memory.getSize(), 16u); // the old block is kept
    EXPECT_NE(memory.getBuffer(), nullptr);
}

TEST(ContainersAutoMemory, SaveToFile)
{
    char folder[] = "/tmp/tessal-automem-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string path = std::string(folder) + "/out.bin";

    AutoMemory empty;
    EXPECT_EQ(empty.saveToFile(path.c_str()), 0);
    EXPECT_NE(access(path.c_str(), F_OK), 0); // no file touched

    AutoMemory data("hello", 5);
    EXPECT_EQ(data.saveToFile(path.c_str()), 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 5);

    EXPECT_EQ(data.saveToFile((std::string(folder) + "/missing/out.bin").c_str()), -1);

    // Neither a device, nor through a link, nor over another's file.
    const std::string link = std::string(folder) + "/link";
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    EXPECT_EQ(AutoMemory("x", 1).saveToFile(link.c_str()), -1);
    EXPECT_EQ(data.saveToFile("/dev/full"), -1);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        EXPECT_EQ(AutoMemory("x", 1).saveToFile(path.c_str()), -1);
    }
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 5);

    unlink(link.c_str());
    unlink(path.c_str());
    rmdir(folder);
}

TEST(ContainersByteArray, SetSize)
{
    CByteArray array;
    array.SetSize(3);
    EXPECT_EQ(array.GetSize(), 3);
    array[1] = 5;
    array.SetSize(-1); // reported, nothing changes
    EXPECT_EQ(array.GetSize(), 3);
    EXPECT_EQ(array[1], 5);
    for (int i = 0; i < 100; ++i)
        array.Add(static_cast<unsigned char>(i));
    EXPECT_EQ(array.GetSize(), 103);
    EXPECT_EQ(array[1], 5);
    EXPECT_EQ(array[102], 99);
    array.SetSize(2);
    array.SetSize(4);
    EXPECT_EQ(array[3], 0); // grown elements are zero-filled
    array.SetSize(0);
    EXPECT_EQ(array.GetSize(), 0);
    EXPECT_EQ(array.GetData(), nullptr);

    CArray<CString> texts;
    texts.SetAtGrow(0, CString("a"));
    texts.SetAtGrow(2, CString("c"));
    EXPECT_EQ(texts.GetSize(), 3);
    EXPECT_EQ(s(texts[2]), "c");
    EXPECT_TRUE(texts[1].IsEmpty());
}

TEST(ContainersEnvironment, Text)
{
    std::string longValue(3000, 'v');
    setenv("TESSAL_TEST_ENV_TEXT", longValue.c_str(), 1);
    EXPECT_EQ(s(getEnvironmentText("TESSAL_TEST_ENV_TEXT", "d")), longValue);
    setenv("TESSAL_TEST_ENV_TEXT", "", 1);
    EXPECT_EQ(s(getEnvironmentText("TESSAL_TEST_ENV_TEXT", "d")), "d");
    unsetenv("TESSAL_TEST_ENV_TEXT");
    EXPECT_EQ(s(getEnvironmentText("TESSAL_TEST_ENV_TEXT", "d")), "d");
}

#include "RecordingLog.h"

using tessal::test::RecordingLog;

TEST(ContainersRecords, MallocErrorRecord)
{
    RecordingLog log(63);
    AutoMemory memory(8);
    EXPECT_THROW(memory.grow(0xFFFFFFFFu), UException);
    ASSERT_EQ(log.count(), 1u);
    EXPECT_EQ(log.last().substr(0, 14), "1, /UClasses, ");
    EXPECT_NE(log.last().find(", AutoMemory::malloc, EXCEPTION - malloc error (size), 4294967295\n"),
              std::string::npos);
}
