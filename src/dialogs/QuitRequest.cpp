#include "dialogs/QuitRequest.h"

namespace tessal {
namespace qt {

QuitRequest& QuitRequest::instance()
{
    // GUI thread only, like everything that asks it. Never destroyed: the
    // last questions may ask it while the process ends.
    static QuitRequest* const request = new QuitRequest;
    return *request;
}

void QuitRequest::request()
{
    if (requestedFlag)
        return;
    requestedFlag = true;
    emit requested();
}

} // namespace qt
} // namespace tessal
