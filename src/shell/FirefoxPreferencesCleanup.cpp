#include "shell/FirefoxPreferencesCleanup.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "foundation/InputDepth.h"
#include "shell/BrowserPreferencesCleanup.h"
#include "shell/PreferenceFiles.h"
#include "shell/PreferenceTextEdits.h"

namespace tessal {
namespace qt {

namespace fs = std::filesystem;

namespace {

struct Editor {
    const char* fileName;
    std::function<bool(std::string&, const std::string&)> edit;
};

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

void cleanFirefoxFiles(const ProfileOwner& owner, const std::vector<std::string>& schemes)
{
    const Editor editors[] = {
        {"handlers.json",
         [](std::string& text, const std::string& scheme) {
             requireInputDepth(text, InputMarkup::Json);
             return eraseJsonSchemeEntry(text, scheme, "schemes");
         }},
        {"mimeTypes.rdf",
         [](std::string& text, const std::string& scheme) {
             requireInputDepth(text, InputMarkup::Xml);
             return removeSchemeFromMimeTypesRdf(text, scheme);
         }},
    };
    std::string errors;
    // The older folder, and the one newer releases make for a new user.
    for (const char* firefox : {"/.mozilla/firefox/", "/.config/mozilla/firefox/"}) {
        const std::string folder = owner.home + firefox;
        std::error_code unreadable;
        fs::directory_iterator entries(folder, unreadable);
        // No Firefox is no error; a folder that is there but cannot be listed is.
        if (unreadable == std::errc::no_such_file_or_directory || unreadable == std::errc::not_a_directory)
            continue;
        while (!unreadable && entries != fs::directory_iterator()) {
            const fs::path profile = entries->path();
            std::error_code notFolder;
            const bool isProfile = fs::is_directory(profile, notFolder) && !endsWith(profile.string(), "Crash Reports");
            for (const Editor& editor : editors) {
                if (!isProfile)
                    break;
                const std::string path = profile.string() + "/" + editor.fileName;
                if (isMissing(path))
                    continue;
                try {
                    cleanPreferenceFile(path, owner, schemes, editor.edit);
                } catch (const std::runtime_error& e) {
                    errors += std::string(e.what()) + "; ";
                }
            }
            entries.increment(unreadable);
        }
        if (unreadable)
            errors += "Cannot list folder " + quotedPath(folder) + ": " + unreadable.message() + "; ";
    }
    if (!errors.empty())
        throw std::runtime_error("One or multiple errors occured during cleanup: " + errors);
}

void cleanupFirefoxProfile(const std::vector<std::string>& schemes, const std::string& user)
{
    const ProfileOwner owner = profileOwner(user);
    runAsProfileOwner(owner, "firefox", schemes, [&] { cleanFirefoxFiles(owner, schemes); });
}

} // namespace qt
} // namespace tessal
