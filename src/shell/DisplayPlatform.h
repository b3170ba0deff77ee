#pragma once
// Which display the toolkit opens, and how the program ends when it opens
// none.

#include <string>
#include <vector>

#include <QByteArray>

namespace tessal {
namespace qt {

// The toolkit's platform list when the user named none: the session's own
// display first (Wayland when WAYLAND_DISPLAY is set), then the other.
// Empty when the user chose (QT_QPA_PLATFORM, or -platform on the command
// line): the choice stays theirs.
QByteArray platformsToTry(const QByteArray& userPlatform, bool platformArgument, const QByteArray& waylandDisplay);

// Made before the application object and told when it is built. Hands the
// toolkit the platform list through its own -platform argument (so no child
// inherits it through the environment), and until a platform is open keeps
// the toolkit's messages back: when none opens, the process ends with status
// 1, a record in the log and one line on standard error, instead of the
// toolkit's abort. Once one is open the messages kept back go out as they
// would have.
class DisplayPlatform final
{
public:
    DisplayPlatform(int argc, char** argv);
    ~DisplayPlatform();
    DisplayPlatform(const DisplayPlatform&) = delete;
    DisplayPlatform& operator=(const DisplayPlatform&) = delete;

    // The command line for the application object; both live as long as
    // this object.
    int& argc() { return m_argc; }
    char** argv() { return m_argv.data(); }

    void opened();

private:
    std::string m_platforms;
    std::string m_option;
    std::vector<char*> m_argv;
    int m_argc = 0;
    bool m_watching = false;
};

} // namespace qt
} // namespace tessal
