#include "support/LogTestHome.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessal {
namespace test {

namespace {
const uid_t kOtherUid = 65534;
const gid_t kOtherGid = 65534;
const int kSwitchFailed = 99;
// No entry in the password database has this id.
const uid_t kUnlistedId = 65533;

// Runs body in a child process after switchUser, which returns false when it failed.
int runInChild(const std::function<bool()>& switchUser, const std::function<int()>& body)
{
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return TempHome::kSkipped;
    if (pid == 0) {
        if (!switchUser())
            _exit(kSwitchFailed);
        int result = body();
        std::fflush(nullptr);
        _exit(result);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    if (WEXITSTATUS(status) == kSwitchFailed)
        return TempHome::kSkipped;
    return WEXITSTATUS(status);
}
} // namespace

TempHome::TempHome() : m_owner(geteuid())
{
    char name[] = "/tmp/tessal-home-XXXXXX";
    if (mkdtemp(name) != nullptr)
        m_path = name;
    const char* old = std::getenv("HOME");
    m_hadHome = old != nullptr;
    if (old != nullptr)
        m_oldHome = old;
    setenv("HOME", m_path.c_str(), 1);
}

TempHome::~TempHome()
{
    if (m_hadHome)
        setenv("HOME", m_oldHome.c_str(), 1);
    else
        unsetenv("HOME");
    if (!m_path.empty())
        std::system(("rm -rf '" + m_path + "'").c_str());
}

void TempHome::setHome(const std::string& value)
{
    setenv("HOME", value.c_str(), 1);
}

void TempHome::writeSettings(const std::string& text)
{
    mkdir(settingsFolder().c_str(), 0750);
    std::ofstream out(settingsFolder() + "/tessalnetworks.conf", std::ios::binary | std::ios::trunc);
    out << text;
}

void TempHome::giveTo(uid_t uid, gid_t gid)
{
    std::string command = "chown -R " + std::to_string(uid) + ":" + std::to_string(gid) + " '" + m_path + "'";
    if (std::system(command.c_str()) == 0)
        m_owner = uid;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

int runAsOtherUser(TempHome& home, const std::function<int()>& body)
{
    bool root = geteuid() == 0;
    if (root)
        home.giveTo(kOtherUid, kOtherGid);
    return runInChild(
        [root] { return !root || (setgroups(0, nullptr) == 0 && setgid(kOtherGid) == 0 && setuid(kOtherUid) == 0); },
        body);
}

int runWithoutPasswordEntry(const std::function<int()>& body)
{
    if (geteuid() != 0 || getpwuid(kUnlistedId) != nullptr)
        return TempHome::kSkipped;
    // Only the real id changes: root's powers stay, so that whatever the body
    // would make at the root of the file system it could.
    return runInChild([] { return setresuid(kUnlistedId, 0, 0) == 0; }, body);
}

std::function<void()> afterFolderMade;

} // namespace test
} // namespace tessal
