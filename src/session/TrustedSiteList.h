#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <boost/shared_ptr.hpp>

namespace tessal {
namespace sl {

// The user's answers to "do you trust this access server?": sites trusted
// for good and sites trusted for one session. The whole file is read once;
// each change rewrites it.
class TrustedSiteList final
{
public:
    // Seconds since the epoch; tests put their own clock in.
    using Clock = std::function<std::int64_t()>;

    // A session grant older than this (seconds) is dropped when the file is loaded.
    static constexpr std::int64_t kSessionMaxAge = 259200;

    // The process-wide store. The first call creates it, reading the file,
    // for folder + "/" + fileName, or with no folder for the file named by
    // SetLocation; later calls return it and ignore their arguments.
    static TrustedSiteList* Instance(const char* folder, const char* fileName);
    // Names the process-wide store's file without reading it: a launch that
    // is only handed to the running instance never needs the list.
    static void SetLocation(const char* folder, const char* fileName);

    explicit TrustedSiteList(const char* path);
    TrustedSiteList(const char* path, Clock clock);

    TrustedSiteList(const TrustedSiteList&) = delete;
    TrustedSiteList& operator=(const TrustedSiteList&) = delete;

    bool IsTrusted(const std::string& site, const std::string& sessionKey) const;
    bool IsTrustedPermanently(const std::string& site) const;
    bool IsTrustedForSession(const std::string& site, const std::string& sessionKey) const;

    void AddPermanent(const std::string& site);
    void AddForSession(const std::string& site, const std::string& sessionKey);

    void Save();
    void PurgeExpiredSessions(std::int64_t maxAgeSeconds);

    const std::string& path() const { return m_path; }

private:
    using Tree = boost::property_tree::ptree;

    void load();
    Tree* firstTopLevel(const char* key);
    const Tree* firstTopLevel(const char* key) const;

    std::string m_path;
    Tree m_tree;
    Clock m_clock;
};

} // namespace sl
} // namespace tessal
