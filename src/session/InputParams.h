#pragma once

#include <QUrl>

#include "session/InputParamsBase.h"
#include "session/SessionInfo.h"

// The parameters of a network-access launch: the common ones and the
// resource to open.
class InputParams : public InputParamsBase
{
public:
    InputParams(const CString& text, UHashTable& table);
    ~InputParams() override;

    CString resourcename;
    CString resourcetype;
};

namespace tessal {
namespace qt {

// The server URL: port (only when it is not the protocol's default), scheme, host.
QUrl urlFromParams(const InputParamsBase& params);

SessionInfo sessionInfoFromParams(const InputParamsBase& params);
SessionInfo sessionInfoFromParams(const InputParams& params);

} // namespace qt
} // namespace tessal
