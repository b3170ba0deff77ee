#pragma once
// Reading and replacing a user's browser preference files without ever
// losing one: a replacement is written beside the original and renamed over
// it only once it is complete.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessal {
namespace qt {

// Largest preference file the cleanup reads.
constexpr std::uintmax_t kPreferenceFileLimit = 52428800;

// Whose files are edited: they must lie inside home (after every symbolic
// link is resolved) and be regular files owned by uid.
struct ProfileOwner {
    std::string home;
    uid_t uid = 0;
};

// The owner of user's home folder (tessal::system::getHomeFolder rules;
// an empty user means the home folder's own owner).
ProfileOwner profileOwner(const std::string& user);

// Runs step with the owner's credentials. When this process is root and the
// owner is not, the step is done by the as-user program, started as the
// owner (user, group and supplementary groups, only its standard
// descriptors) with the arguments browser, the owner's home and uid, and
// schemes: root never follows a link, reads or writes in a folder the owner
// controls, and what the step reports can tell the owner nothing of root's
// files. Otherwise it runs here. A failure of the step comes back as
// std::runtime_error with the same text.
void runAsProfileOwner(const ProfileOwner& owner, const char* browser, const std::vector<std::string>& schemes,
                       const std::function<void()>& step);

// The whole file. Throws std::runtime_error (std::filesystem::filesystem_error
// for a missing file) when it cannot be read, is larger than limit, or, with
// an owner, lies outside the owner's home or is not a regular file of theirs.
std::string readFileLimited(const std::string& path, std::uintmax_t limit, const ProfileOwner* owner = nullptr);

// Replaces an existing regular file's contents, keeping its mode but the
// setuid, setgid and sticky bits (and its owner and group when run as root).
// Throws std::runtime_error on any failure; the original is then untouched.
void writeFileContents(const std::string& path, const std::string& text, const ProfileOwner* owner = nullptr);

// Removes what a killed writeFileContents left beside path: its hidden
// replacement files, ours or the owner's, that no running write holds.
// Quietly does nothing when the folder cannot be opened.
void removeStaleTemporaries(const std::string& path, const ProfileOwner* owner = nullptr);

// The path as the error texts quote it: in double quotes, a double quote or
// "&" inside preceded by "&".
std::string quotedPath(const std::string& path);

// True when nothing at all is at path (a broken link is something).
bool isMissing(const std::string& path);

// Runs edit (a text edit returning whether it changed the text); its
// std::runtime_error comes back naming the file.
template <typename Edit>
bool editPreferenceText(const std::string& path, Edit&& edit)
{
    try {
        return edit();
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("File " + quotedPath(path) + ": " + e.what());
    }
}

// One preference file's round: sweeps what a killed run left beside it,
// reads it, removes each scheme with edit (text, scheme -> changed) and
// writes it back only when something changed. Throws std::runtime_error.
void cleanPreferenceFile(const std::string& path, const ProfileOwner& owner, const std::vector<std::string>& schemes,
                         const std::function<bool(std::string&, const std::string&)>& edit);

} // namespace qt
} // namespace tessal
