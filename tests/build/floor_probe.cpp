// Linked against every object of one floor and the floors below it, and
// calling one function of each floor the build names above it: the build
// test build.<floor>_links_no_higher_floor passes when the linker refuses
// these calls of this file and nothing else, so a source of the floor that
// calls a higher one fails it.

#if TESSAL_PROBE_TUNNEL
#include "tunnel/ResourceErrors.h"
#endif
#if TESSAL_PROBE_DIALOGS
#include "dialogs/ServerUrls.h"
#endif
#if TESSAL_PROBE_CLIENT
#include "session/ConnectivityProfileParser.h"
#include "shell/NAParamsXml.h"
#endif
#if TESSAL_PROBE_TEST_SUPPORT
#include "ChildState.h"
#endif

#include <QByteArray>
#include <QString>

int main()
{
    int calls = 0;
#if TESSAL_PROBE_TUNNEL
    calls += svpnErrorText(0) != nullptr;
#endif
#if TESSAL_PROBE_DIALOGS
    calls += !tessal::qt::displayedHostName(QString("probe")).isEmpty();
#endif
#if TESSAL_PROBE_CLIENT
    tessal::qt::ConnectivityProfileParser profile;
    calls += profile.Parse("<PROFILE/>");
    calls += !tessal::qt::naParamsFromXml(QByteArray("<favorite/>")).isEmpty();
#endif
#if TESSAL_PROBE_TEST_SUPPORT
    calls += tessal::test::parseChildState({}).complete;
#endif
    return calls;
}
