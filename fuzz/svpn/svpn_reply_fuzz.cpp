// Feeds arbitrary daemon replies through the decoder and the details parser.

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/CompanionProcesses.h"
#include "foundation/UClasses.h"
#include "tunnel/SvpnHandler.h"
#include "tunnel/VpnController.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size); // a NUL inside ends the text
    const SvpnReplyEvents events = SvpnHandler::decodeReply(reply.c_str());
    if (events.hasDetails) {
        UPropertyList details;
        tessal::qt::VpnController::parsePairs(events.details, '\n', details);
        UPropertyList copy(details);
        (void)copy.getCount();
    }
    UPropertyList params;
    tessal::qt::VpnController::parsePairs(CString(reply.c_str()), '&', params);
    parsePidText(reply.c_str());
    return 0;
}
