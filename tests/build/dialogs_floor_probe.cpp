// Linked as the dialogs' tests are, against every object of tessal_dialogs
// and nothing higher, and calling a session function and a window function:
// the build test build.dialogs_link_no_higher_floor passes when the linker
// refuses both and nothing else, so a dialogs source that calls the session
// or the window fails it.

#include "session/ConnectivityProfileParser.h"
#include "shell/NAParamsXml.h"

#include <QByteArray>

int main()
{
    tessal::qt::ConnectivityProfileParser profile;
    if (!profile.Parse("<PROFILE/>"))
        return 1;
    return tessal::qt::naParamsFromXml(QByteArray("<favorite/>")).isEmpty() ? 1 : 0;
}
