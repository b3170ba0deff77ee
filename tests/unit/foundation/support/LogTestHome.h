#pragma once
// A temporary HOME for the settings-file and error-log tests, and a way to run
// a piece of a test as an ordinary user.

#include <functional>
#include <string>
#include <sys/types.h>

namespace tessal {
namespace test {

class TempHome
{
public:
    static constexpr int kSkipped = -1000;

    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return m_path; }
    std::string settingsFolder() const { return m_path + "/.TessalNetworks"; }
    // Points HOME somewhere else (the destructor restores the original value).
    void setHome(const std::string& value);
    // Writes "<home>/.TessalNetworks/tessalnetworks.conf" with exactly these bytes.
    void writeSettings(const std::string& text);
    uid_t ownerUid() const { return m_owner; }
    void giveTo(uid_t uid, gid_t gid);

private:
    std::string m_path;
    std::string m_oldHome;
    bool m_hadHome = false;
    uid_t m_owner;
};

std::string readFile(const std::string& path);

// Runs body in a child process as uid/gid 65534 (or as the current user when
// that is not root already); the home folder is handed to that user first.
// Returns the body's result, or TempHome::kSkipped when switching failed.
int runAsOtherUser(TempHome& home, const std::function<int()>& body);

// Runs body in a child process whose real user id is 65533, which has no
// entry in the password database, so that nothing but HOME names a home
// folder; the effective id stays root's. Returns TempHome::kSkipped when not
// root or when that id has an entry.
int runWithoutPasswordEntry(const std::function<int()>& body);

// Runs once right after the next folder is made by mkdir or mkdirat (the
// foundation's tests are linked with --wrap for both).
extern std::function<void()> afterFolderMade;

} // namespace test
} // namespace tessal
