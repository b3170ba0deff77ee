// tessalvpn-as-user: what a root run of the client does in a folder another
// user controls is done by this program, which the client starts as that
// user (groups, group and user already taken, an environment made for them)
// rather than in a child forked from its many threads. It prints the step's
// text on its standard output and exits with 0 when the step ran, 1 with
// the reason when it did not.
//
//   chrome|firefox <home> <uid> <scheme>...  the browser-preference cleanup
//   unpack <folder> <name> <staging> <tar>   a component unpack, with the
//       folder that holds it, the archive and the installer log on 3, 4, 5

#include "foundation/m_system.h"
#include "session/TarArchiveInstaller.h"
#include "shell/ChromePreferencesCleanup.h"
#include "shell/FirefoxPreferencesCleanup.h"
#include "shell/PreferenceFiles.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <exception>
#include <string>
#include <vector>

namespace {

bool runStep(const std::vector<std::string>& args, std::string& text)
{
    // It works by the paths it is given: never with root's credentials.
    if (::geteuid() == 0) {
        text = "Not to be run as root";
        return false;
    }
    const std::string step = args.empty() ? std::string() : args[0];
    if ((step == "chrome" || step == "firefox") && args.size() >= 3) {
        tessal::qt::ProfileOwner owner;
        owner.home = args[1];
        owner.uid = static_cast<uid_t>(std::stoul(args[2]));
        const std::vector<std::string> schemes(args.begin() + 3, args.end());
        if (step == "chrome")
            tessal::qt::cleanChromeFiles(owner, schemes);
        else
            tessal::qt::cleanFirefoxFiles(owner, schemes);
        return true;
    }
    if (step == "unpack" && args.size() == 5) {
        text = tessal::qt::unpackStaged(3, args[1], args[2], args[3], 4, 5, args[4]);
        return true;
    }
    text = "Unknown step";
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Nobody but root looks into this process, whatever the system's
    // setting for processes that changed their user.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    std::string text;
    bool ran = false;
    try {
        ran = runStep(std::vector<std::string>(argv + 1, argv + argc), text);
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unknown error";
    }
    return writeAll(STDOUT_FILENO, text) && ran ? 0 : 1;
}
