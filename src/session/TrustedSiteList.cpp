#include "session/TrustedSiteList.h"
#include "foundation/Helpers.h"
#include "foundation/InputDepth.h"
#include "foundation/UserFiles.h"
#include "foundation/m_system.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <locale>
#include <sstream>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <boost/optional.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace tessal {
namespace sl {

namespace {

using Tree = boost::property_tree::ptree;

// Far more than any list of sites holds; a file beyond it is not read.
constexpr size_t kFileLimit = 16 << 20;

std::int64_t systemNow()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::string joinPath(const char* folder, const char* fileName)
{
    std::string path = folder ? folder : "";
    path += "/";
    path += fileName ? fileName : "";
    return path;
}

std::string& namedLocation()
{
    static std::string path;
    return path;
}

} // namespace

TrustedSiteList* TrustedSiteList::Instance(const char* folder, const char* fileName)
{
    static boost::shared_ptr<TrustedSiteList> instance;
    if (!instance) {
        const std::string path =
            folder == nullptr && !namedLocation().empty() ? namedLocation() : joinPath(folder, fileName);
        instance = boost::make_shared<TrustedSiteList>(path.c_str());
    }
    return instance.get();
}

void TrustedSiteList::SetLocation(const char* folder, const char* fileName)
{
    namedLocation() = joinPath(folder, fileName);
}

TrustedSiteList::TrustedSiteList(const char* path) : TrustedSiteList(path, Clock(&systemNow)) {}

TrustedSiteList::TrustedSiteList(const char* path, Clock clock)
    : m_path(path ? path : ""), m_clock(clock ? std::move(clock) : Clock(&systemNow))
{
    load();
}

void TrustedSiteList::load()
{
    // Read as a regular file only, never through a link and never blocking:
    // the folder may be another user's (a root run with HOME at theirs).
    std::string text;
    bool read = !m_path.empty() && readRegularFile(m_path, kFileLimit, text);
    // The file lies in the user's folder: bounded in depth like any outside input.
    read = read && withinInputDepth(text, InputMarkup::Xml);
    if (read) {
        try {
            std::istringstream in(text);
            boost::property_tree::read_xml(in, m_tree);
        } catch (const boost::property_tree::xml_parser_error&) {
            read = false;
        }
    }
    if (!read) {
        // Missing, unreadable or not well-formed: begin empty. The file is
        // left alone until the user's next answer replaces it.
        m_tree.clear();
        m_tree.put("version", "1.0");
        return;
    }
    PurgeExpiredSessions(kSessionMaxAge);
}

// Children are walked in document order: the tree's own find() picks any
// child with the key, and the first one is the one that counts.
TrustedSiteList::Tree* TrustedSiteList::firstTopLevel(const char* key)
{
    for (auto& child : m_tree) {
        if (child.first == key)
            return &child.second;
    }
    return nullptr;
}

const TrustedSiteList::Tree* TrustedSiteList::firstTopLevel(const char* key) const
{
    for (const auto& child : m_tree) {
        if (child.first == key)
            return &child.second;
    }
    return nullptr;
}

bool TrustedSiteList::IsTrusted(const std::string& site, const std::string& sessionKey) const
{
    return IsTrustedForSession(site, sessionKey) || IsTrustedPermanently(site);
}

bool TrustedSiteList::IsTrustedPermanently(const std::string& site) const
{
    try {
        const Tree* sites = firstTopLevel("sites");
        if (!sites)
            return false;
        for (const auto& child : *sites) {
            if (equalsNoCase(child.second.data(), site))
                return true;
        }
    } catch (...) {
    }
    return false;
}

bool TrustedSiteList::IsTrustedForSession(const std::string& site, const std::string& sessionKey) const
{
    try {
        const Tree* sessions = firstTopLevel("sessions");
        if (!sessions)
            return false;
        for (const auto& child : *sessions) {
            const boost::optional<const Tree&> entrySite = child.second.get_child_optional(Tree::path_type("site"));
            const boost::optional<const Tree&> entryKey = child.second.get_child_optional(Tree::path_type("sessionid"));
            if (!entrySite || !entryKey)
                continue;
            if (equalsNoCase(entrySite->data(), site) && equalsNoCase(entryKey->data(), sessionKey))
                return true;
        }
    } catch (...) {
    }
    return false;
}

void TrustedSiteList::AddPermanent(const std::string& site)
{
    if (IsTrustedPermanently(site))
        return;
    Tree* sites = firstTopLevel("sites");
    if (!sites)
        sites = &m_tree.push_back(Tree::value_type("sites", Tree()))->second;
    sites->push_back(Tree::value_type("site", Tree(site)));
    Save();
}

void TrustedSiteList::AddForSession(const std::string& site, const std::string& sessionKey)
{
    if (IsTrustedForSession(site, sessionKey))
        return;
    Tree entry;
    entry.push_back(Tree::value_type("site", Tree(site)));
    entry.push_back(Tree::value_type("sessionid", Tree(sessionKey)));
    entry.push_back(Tree::value_type("created", Tree(std::to_string(m_clock()))));

    Tree* sessions = firstTopLevel("sessions");
    if (!sessions)
        sessions = &m_tree.push_back(Tree::value_type("sessions", Tree()))->second;
    sessions->push_back(Tree::value_type("session", std::move(entry)));
    Save();
}

// The new contents replace the file whole (the foundation's one replace:
// a temporary beside it, renamed over it), so a crash, a full disk or a
// failed write leaves the old list as it was. Everything happens in the
// folder opened once, never through a link: a root run whose HOME is a
// user's folder writes only there, and the list is the folder owner's.
void TrustedSiteList::Save()
{
    if (m_path.empty())
        return;
    std::string base;
    const UniqueFd folder = openParentFolder(m_path, base);
    struct stat folderInfo {};
    if (folder.get() < 0 || ::fstat(folder.get(), &folderInfo) != 0)
        return;
    std::string bytes;
    try {
        std::ostringstream out;
        boost::property_tree::write_xml(out, m_tree,
                                        boost::property_tree::xml_writer_make_settings<std::string>(' ', 0, "utf-8"));
        if (!out)
            return;
        bytes = out.str();
    } catch (...) {
        return;
    }
    const bool theirs = ::geteuid() == 0 && folderInfo.st_uid != 0;
    Replacement how;
    how.mode = S_IRUSR | S_IWUSR;
    how.owner = theirs ? folderInfo.st_uid : ::geteuid();
    if (theirs) {
        how.uid = folderInfo.st_uid;
        how.gid = folderInfo.st_gid;
    }
    removeStaleReplacements(folder.get(), base, how.owner);
    replaceFileAt(folder.get(), base, bytes, how);
}

void TrustedSiteList::PurgeExpiredSessions(std::int64_t maxAgeSeconds)
{
    try {
        const std::int64_t now = m_clock();
        const Tree* sessions = firstTopLevel("sessions");
        if (!sessions || sessions->empty())
            return;

        Tree kept;
        bool anyExpired = false;
        for (const auto& child : *sessions) {
            try {
                const boost::optional<std::int64_t> created =
                    child.second.get_optional<std::int64_t>(Tree::path_type("created"));
                if (!created)
                    continue; // no valid time: not carried over, not counted as expired
                std::int64_t age = 0;
                // A difference that does not fit is an entry from the far past.
                const bool overflow = __builtin_sub_overflow(now, *created, &age);
                if (!overflow && age <= maxAgeSeconds)
                    kept.push_back(Tree::value_type("session", child.second));
                else if (overflow && *created > now)
                    kept.push_back(Tree::value_type("session", child.second));
                else
                    anyExpired = true;
            } catch (...) {
            }
        }
        if (!anyExpired)
            return;

        for (auto it = m_tree.begin(); it != m_tree.end();) {
            if (it->first == "sessions")
                it = m_tree.erase(it);
            else
                ++it;
        }
        m_tree.push_back(Tree::value_type("sessions", std::move(kept)));
        Save();
    } catch (...) {
    }
}

} // namespace sl
} // namespace tessal
