// Linked as the tunnels are, against tessal_tunnel alone, and calling a
// session function and a window function: the build test
// build.tunnel_links_no_higher_floor passes when the linker refuses both.

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
