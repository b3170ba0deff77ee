#pragma once

#include "support/RecordingErrorLog.h"

#include <string>

// The recording log with a search over its records.
class NetCaptureLog final : public RecordingErrorLog
{
public:
    bool contains(const std::string& piece) const
    {
        for (const auto& l : lines()) {
            if (l.find(piece) != std::string::npos)
                return true;
        }
        return false;
    }
    void clear() { clearLines(); }
};
