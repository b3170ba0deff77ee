#include "session/TrustedSiteList.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include <csignal>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using tessal::sl::TrustedSiteList;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

class TrustStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/trust_store_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/trusted_sites.xml";
    }

    void TearDown() override
    {
        if (DIR* d = ::opendir(m_dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..")
                    ::unlink((m_dir + "/" + name).c_str());
            }
            ::closedir(d);
        }
        ::chmod(m_dir.c_str(), 0700);
        ::rmdir(m_dir.c_str());
    }

    std::unique_ptr<TrustedSiteList> open()
    {
        return std::make_unique<TrustedSiteList>(m_path.c_str(), [this] { return m_now; });
    }

    std::string fileBytes() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool fileExists() const { return ::access(m_path.c_str(), F_OK) == 0; }

    void writeFile(const std::string& bytes) const
    {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    int entriesInDir() const
    {
        int count = 0;
        if (DIR* d = ::opendir(m_dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..")
                    ++count;
            }
            ::closedir(d);
        }
        return count;
    }

    std::string m_dir;
    std::string m_path;
    std::int64_t m_now = 1700000000;
};

std::string sessionXml(const std::string& site, const std::string& key, std::int64_t created)
{
    return "<session><site>" + site + "</site><sessionid>" + key + "</sessionid><created>" + std::to_string(created) +
           "</created></session>";
}

} // namespace

TEST_F(TrustStoreTest, MissingFileStartsEmptyAndWritesNothingUntilAnAddition)
{
    auto store = open();
    EXPECT_FALSE(store->IsTrusted("https://vpn.example.com", "ABCDEFGH"));
    EXPECT_FALSE(fileExists());

    store->AddPermanent("https://vpn.example.com");
    EXPECT_EQ(fileBytes(), kDecl + "<version>1.0</version><sites><site>https://vpn.example.com</site></sites>");
    EXPECT_TRUE(store->IsTrusted("https://vpn.example.com", "ABCDEFGH"));
}

TEST_F(TrustStoreTest, ExactBytesAfterPermanentAndSessionGrants)
{
    auto store = open();
    store->AddPermanent("S");
    store->AddForSession("S", "K");
    EXPECT_EQ(fileBytes(), kDecl + "<version>1.0</version><sites><site>S</site></sites><sessions>" +
                               sessionXml("S", "K", m_now) + "</sessions>");
    // No line feed at the end of the file.
    EXPECT_NE(fileBytes().back(), '\n');
}

TEST_F(TrustStoreTest, ValuesAreEscapedOnWriteAndReadBack)
{
    auto store = open();
    store->AddPermanent("https://a&b<c>\"d'");
    EXPECT_EQ(fileBytes(),
              kDecl + "<version>1.0</version><sites><site>https://a&amp;b&lt;c&gt;&quot;d&apos;</site></sites>");
    auto again = open();
    EXPECT_TRUE(again->IsTrustedPermanently("https://a&b<c>\"d'"));
}

TEST_F(TrustStoreTest, RepeatedGrantsWriteNothing)
{
    auto store = open();
    store->AddPermanent("https://vpn.example.com");
    store->AddForSession("https://vpn.example.com", "KEY00001");
    const std::string before = fileBytes();
    ::unlink(m_path.c_str());

    store->AddPermanent("HTTPS://VPN.EXAMPLE.COM");
    store->AddForSession("https://vpn.example.com", "key00001");
    EXPECT_FALSE(fileExists()) << "a repeated grant must not rewrite the file";

    // A permanent grant does not block a session grant of the same site.
    store->AddForSession("https://vpn.example.com", "KEY00002");
    EXPECT_TRUE(fileExists());
    EXPECT_NE(fileBytes().find(sessionXml("https://vpn.example.com", "KEY00002", m_now)), std::string::npos);
    EXPECT_NE(fileBytes().find("<sites><site>https://vpn.example.com</site></sites>"), std::string::npos);
}

TEST_F(TrustStoreTest, SessionGrantIsScopedToItsKeyAndFoldsAsciiCase)
{
    auto store = open();
    store->AddForSession("https://vpn.example.com", "abcd1234");
    EXPECT_TRUE(store->IsTrustedForSession("HTTPS://VPN.Example.COM", "ABCD1234"));
    EXPECT_FALSE(store->IsTrustedForSession("https://vpn.example.com", "abcd1235"));
    EXPECT_FALSE(store->IsTrusted("https://vpn.example.com", "abcd1235"));
    EXPECT_FALSE(store->IsTrustedPermanently("https://vpn.example.com"));
    // Only ASCII letters fold; a longer or shorter text never matches.
    EXPECT_FALSE(store->IsTrustedForSession("https://vpn.example.com/", "abcd1234"));
    store->AddPermanent("https://caf\xc3\xa9.example");
    EXPECT_FALSE(store->IsTrustedPermanently("https://CAF\xc3\x89.example"));
    EXPECT_TRUE(store->IsTrustedPermanently("HTTPS://caf\xc3\xa9.EXAMPLE"));
}

TEST_F(TrustStoreTest, SessionGrantSurvivesARestartWithinThreeDays)
{
    open()->AddForSession("https://vpn.example.com", "KEY00001");
    m_now += 3600;
    auto store = open();
    EXPECT_TRUE(store->IsTrusted("https://vpn.example.com", "KEY00001"));
    EXPECT_FALSE(store->IsTrusted("https://vpn.example.com", "KEY00002"));
}

TEST_F(TrustStoreTest, ExpiryAtLoadKeepsExactlyThreeDaysAndDropsOlder)
{
    const std::int64_t now = m_now;
    writeFile(kDecl + "<sessions>" + sessionXml("a", "k1", now - 259200) + "</sessions><sites><site>p</site></sites>");
    {
        auto store = open();
        EXPECT_TRUE(store->IsTrustedForSession("a", "k1"));
    }
    // Nothing expired: the file is not touched.
    EXPECT_EQ(fileBytes(),
              kDecl + "<sessions>" + sessionXml("a", "k1", now - 259200) + "</sessions><sites><site>p</site></sites>");

    writeFile(kDecl + "<sessions>" + sessionXml("a", "k1", now - 259201) + sessionXml("b", "k2", now + 50) +
              "</sessions><sites><site>p</site></sites>");
    auto store = open();
    EXPECT_FALSE(store->IsTrustedForSession("a", "k1"));
    EXPECT_TRUE(store->IsTrustedForSession("b", "k2")) << "a grant dated in the future is kept";
    // Rewritten with "sessions" moved to the end of the top level.
    EXPECT_EQ(fileBytes(),
              kDecl + "<sites><site>p</site></sites><sessions>" + sessionXml("b", "k2", now + 50) + "</sessions>");
}

TEST_F(TrustStoreTest, EntriesWithoutValidTimeStayUntilAnotherEntryExpires)
{
    const std::string invalid = "<session><site>x</site><sessionid>k</sessionid><created>soon</created></session>";
    const std::string noTime = "<session><site>y</site><sessionid>k</sessionid></session>";
    const std::string fresh = sessionXml("z", "k", m_now - 10);
    writeFile(kDecl + "<sessions>" + invalid + noTime + fresh + "</sessions>");
    {
        auto store = open();
        EXPECT_TRUE(store->IsTrustedForSession("x", "k"));
        EXPECT_TRUE(store->IsTrustedForSession("y", "k"));
    }
    writeFile(kDecl + "<sessions>" + invalid + noTime + fresh + sessionXml("old", "k", m_now - 300000) + "</sessions>");
    auto store = open();
    EXPECT_FALSE(store->IsTrustedForSession("x", "k"));
    EXPECT_FALSE(store->IsTrustedForSession("y", "k"));
    EXPECT_FALSE(store->IsTrustedForSession("old", "k"));
    EXPECT_TRUE(store->IsTrustedForSession("z", "k"));
    EXPECT_EQ(fileBytes(), kDecl + "<sessions>" + fresh + "</sessions>");
}

TEST_F(TrustStoreTest, FarPastTimeDoesNotOverflow)
{
    writeFile(kDecl + "<sessions>" + sessionXml("a", "k", INT64_MIN) + sessionXml("b", "k", m_now) + "</sessions>");
    auto store = open();
    EXPECT_FALSE(store->IsTrustedForSession("a", "k"));
    EXPECT_TRUE(store->IsTrustedForSession("b", "k"));
}

TEST_F(TrustStoreTest, EntryMissingSiteOrSessionIdNeverMatches)
{
    writeFile(kDecl + "<sessions><session><sessionid>k</sessionid><created>" + std::to_string(m_now) +
              "</created></session><session><site>s</site><created>" + std::to_string(m_now) +
              "</created></session></sessions>");
    auto store = open();
    EXPECT_FALSE(store->IsTrustedForSession("s", "k"));
    EXPECT_FALSE(store->IsTrustedForSession("", "k"));
    EXPECT_FALSE(store->IsTrustedForSession("s", ""));
}

TEST_F(TrustStoreTest, FileWithoutVersionIsKeptAsReadAndExtended)
{
    writeFile(kDecl + "<sites><site>one</site></sites>");
    auto store = open();
    EXPECT_TRUE(store->IsTrustedPermanently("ONE"));
    EXPECT_FALSE(store->IsTrustedForSession("one", "k"));
    store->AddForSession("two", "k");
    EXPECT_EQ(fileBytes(),
              kDecl + "<sites><site>one</site></sites><sessions>" + sessionXml("two", "k", m_now) + "</sessions>");
}

TEST_F(TrustStoreTest, MalformedFileGivesAnEmptyStoreReplacedByTheFirstAddition)
{
    writeFile(kDecl + "<sites><site>one</site>");
    auto store = open();
    EXPECT_FALSE(store->IsTrustedPermanently("one"));
    EXPECT_EQ(fileBytes(), kDecl + "<sites><site>one</site>") << "loading must not write";
    store->AddPermanent("two");
    EXPECT_EQ(fileBytes(), kDecl + "<version>1.0</version><sites><site>two</site></sites>");
}

TEST_F(TrustStoreTest, SaveReplacesTheFileAtomicallyAndLeavesNoTemporary)
{
    auto store = open();
    store->AddPermanent("one");
    struct stat first {};
    ASSERT_EQ(::stat(m_path.c_str(), &first), 0);
    EXPECT_EQ(first.st_mode & 0077, 0u) << "the list is private to the user";

    // What a killed save left beside it goes with the next one.
    std::ofstream(m_dir + "/.trusted_sites.xml.tessal-a1B2c3D4e5") << "half";
    store->AddPermanent("two");
    struct stat second {};
    ASSERT_EQ(::stat(m_path.c_str(), &second), 0);
    EXPECT_NE(first.st_ino, second.st_ino) << "a new file is renamed over the old one";
    EXPECT_EQ(entriesInDir(), 1);
    EXPECT_EQ(fileBytes(), kDecl + "<version>1.0</version><sites><site>one</site><site>two</site></sites>");

    // Something the list did not make at its name is never replaced.
    ASSERT_EQ(::rename(m_path.c_str(), (m_dir + "/kept").c_str()), 0);
    ASSERT_EQ(::symlink("kept", m_path.c_str()), 0);
    store->AddPermanent("three");
    EXPECT_EQ(fileBytes(), kDecl + "<version>1.0</version><sites><site>one</site><site>two</site></sites>");
    ASSERT_EQ(::lstat(m_path.c_str(), &second), 0);
    EXPECT_TRUE(S_ISLNK(second.st_mode));
}

TEST_F(TrustStoreTest, FailedWriteKeepsTheOldFileAndTheAnswerInMemory)
{
    auto store = open();
    store->AddPermanent("one");
    const std::string before = fileBytes();

    // A file-size limit makes the write fail part-way, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = before.size() + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    store->AddPermanent("a-site-name-long-enough-to-pass-the-limit.example.com");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(entriesInDir(), 1) << "the temporary file is removed";
    EXPECT_TRUE(store->IsTrustedPermanently("a-site-name-long-enough-to-pass-the-limit.example.com"));
}

TEST_F(TrustStoreTest, MissingFolderIsSilentAndAnswersHoldInMemory)
{
    TrustedSiteList store((m_dir + "/absent/trusted_sites.xml").c_str(), [this] { return m_now; });
    store.AddForSession("s", "k");
    EXPECT_TRUE(store.IsTrusted("s", "k"));
    EXPECT_EQ(entriesInDir(), 0);
}

TEST_F(TrustStoreTest, InstanceIsCreatedOnceAndIgnoresLaterArguments)
{
    // Naming the file reads nothing: what it holds at the first use counts.
    TrustedSiteList::SetLocation(m_dir.c_str(), "trusted_sites.xml");
    writeFile(kDecl + "<sites><site>https://named.example</site></sites>");
    TrustedSiteList* first = TrustedSiteList::Instance(nullptr, "trusted_sites.xml");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->path(), m_path);
    EXPECT_TRUE(first->IsTrustedPermanently("https://named.example"));
    EXPECT_EQ(TrustedSiteList::Instance(nullptr, "other.xml"), first);
    EXPECT_EQ(TrustedSiteList::Instance("/elsewhere", "x.xml")->path(), m_path);
}

// Root with HOME at a user's folder: the list it rewrites stays the user's,
// and a folder swapped for a link to another user's between the read and
// the save (the clock is read in between) is never written through.
TEST_F(TrustStoreTest, RootSavesAUsersListAsTheirsAndNeverThroughALink)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    char name[] = "/tmp/trust_store_other.XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const std::string other = name, theirs = other + "/trusted_sites.xml";
    ASSERT_EQ(std::system(("echo theirs >'" + theirs + "' && chmod 600 '" + theirs + "' && chown -R 65533:65533 '" +
                           other + "'")
                              .c_str()),
              0);
    const std::string kept = sessionXml("b", "k", m_now);
    for (const bool swap : {false, true}) {
        writeFile(kDecl + "<sessions>" + sessionXml("a", "k", m_now - 300000) + kept + "</sessions>");
        ASSERT_EQ(std::system(("chown -R 65534:65534 '" + m_dir + "'").c_str()), 0);
        TrustedSiteList store(m_path.c_str(), [&] {
            if (swap) {
                EXPECT_EQ(::rename(m_dir.c_str(), (m_dir + ".moved").c_str()), 0);
                EXPECT_EQ(::symlink(other.c_str(), m_dir.c_str()), 0);
            }
            return m_now;
        });
        if (swap) {
            ::unlink(m_dir.c_str());
            ::rename((m_dir + ".moved").c_str(), m_dir.c_str());
        }
        struct stat info {};
        ASSERT_EQ(::lstat(m_path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534u) << swap;
        EXPECT_EQ(info.st_mode & 07777, 0600u) << swap;
        EXPECT_EQ(fileBytes(), swap ? kDecl + "<sessions>" + sessionXml("a", "k", m_now - 300000) + kept + "</sessions>"
                                    : kDecl + "<sessions>" + kept + "</sessions>");
        EXPECT_EQ(entriesInDir(), 1);
        ASSERT_EQ(::lstat(theirs.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65533u) << swap;
        EXPECT_EQ(info.st_mode & 07777, 0600u) << swap;
        std::ifstream in(theirs);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "theirs\n") << swap;
    }
    std::system(("rm -rf '" + other + "'").c_str());
}
