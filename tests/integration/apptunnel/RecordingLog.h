#pragma once

// A process log that keeps its records in memory, installed for one test.

#include <string>
#include <vector>

#include "foundation/IUErrorLog.h"

class RecordingLog : public IUErrorLog {
public:
    RecordingLog() : m_previous(g_pErrorLog.load())
    {
        setLogLevel(63);
        g_pErrorLog = this;
    }
    ~RecordingLog() override { g_pErrorLog = m_previous; }

    int open(const char*, const char*) override { return 0; }
    int close() override { return 0; }
    int WriteLogByte(const void*, int count) override { return count; }
    int writeTextAndBytes(const char* text, const void*, int count) override
    {
        records.push_back(text ? text : "");
        return count;
    }
    int writeLine(const char* text) override
    {
        records.push_back(text ? text : "");
        return static_cast<int>(records.back().size());
    }
    CString getFileName() override { return CString("memory"); }

    bool contains(const std::string& piece) const
    {
        for (const auto& r : records)
            if (r.find(piece) != std::string::npos)
                return true;
        return false;
    }

    std::vector<std::string> records;

private:
    IUErrorLog* m_previous;
};
