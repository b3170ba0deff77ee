#include "shell/ChromePreferencesCleanup.h"

#include <stdexcept>

#include "foundation/InputDepth.h"
#include "shell/BrowserPreferencesCleanup.h"
#include "shell/PreferenceFiles.h"
#include "shell/PreferenceTextEdits.h"

namespace tessal {
namespace qt {

void cleanChromeFiles(const ProfileOwner& owner, const std::vector<std::string>& schemes)
{
    const std::string folder = owner.home + "/.config/google-chrome/";
    std::vector<std::string> errors;
    for (const char* name : {"Local State", "Default/Preferences"}) {
        const std::string path = folder + name;
        if (isMissing(path))
            continue;
        try {
            const bool preferences = std::string(name) == "Default/Preferences";
            cleanPreferenceFile(path, owner, schemes, [preferences](std::string& text, const std::string& scheme) {
                requireInputDepth(text, InputMarkup::Json);
                bool changed = eraseJsonSchemeEntry(text, scheme, "excluded_schemes");
                // Where the browser keeps "always allow" for a site.
                if (preferences)
                    changed |= eraseJsonSchemeFromEveryEntry(text, scheme, "allowed_origin_protocol_pairs");
                return changed;
            });
        } catch (const std::runtime_error& e) {
            errors.push_back(e.what());
        }
    }
    if (errors.empty())
        return;
    std::string message = "Multiple issues occured during operation: ";
    for (size_t i = 0; i < errors.size(); ++i)
        message += "#" + std::to_string(i + 1) + ":" + errors[i] + "; ";
    throw std::runtime_error(message);
}

void cleanupChromeProfile(const std::vector<std::string>& schemes, const std::string& user)
{
    const ProfileOwner owner = profileOwner(user);
    runAsProfileOwner(owner, "chrome", schemes, [&] { cleanChromeFiles(owner, schemes); });
}

} // namespace qt
} // namespace tessal
