#pragma once

// Program records of the application-tunnel code: the level is tested before
// the message is built; the record names the source file and the function's
// full signature.

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

// MESSAGE is evaluated only when the record is written.
#define TUNNEL_LOG(LEVEL, FILE_NAME, MESSAGE) ULOG((LEVEL), (FILE_NAME), __PRETTY_FUNCTION__, (MESSAGE))
