#pragma once
// The command line as the program reads it, kept apart from the process's
// own argv. /proc/<pid>/cmdline is readable by every local user, and a launch
// URL carries the session id, the token and the one-time code in its query:
// once copied here, the query of every URL in argv is overwritten in place,
// so that ps still shows the scheme and the host and nothing more. The
// program copies it before any library's initialiser runs (takeEarly).

#include <string>
#include <vector>

namespace tessal {
namespace qt {

class PrivateArguments final
{
public:
    // Copies argv (the one taken early, when there is one) and hides it.
    PrivateArguments(int argc, char** argv);
    PrivateArguments(const PrivateArguments&) = delete;
    PrivateArguments& operator=(const PrivateArguments&) = delete;

    // The copy, for the application object; both live as long as this object.
    int argc() const { return static_cast<int>(m_copies.size()); }
    char** argv() { return m_argv.data(); }

    // Run from the executable's pre-initialisation (the loader passes the
    // arguments): a copy for the constructor, and argv hidden before the
    // libraries' initialisers, which take tens of milliseconds.
    static void takeEarly(int argc, char** argv, char** envp);

private:
    std::vector<std::string> m_copies;
    std::vector<char*> m_argv;
};

// Overwrites with NUL bytes everything from the first "?" of argument on
// (query and fragment: the launch parser reads its parameters after a "?"),
// when argument is a URL ("scheme:..."). Anything else stays as it is.
void hideUrlQuery(char* argument);

} // namespace qt
} // namespace tessal
