#pragma once
// A log for tests: keeps every record line in memory and installs itself as
// the process log for its lifetime (the previous pointer comes back after).

#include "foundation/IUErrorLog.h"

#include <mutex>
#include <string>
#include <vector>

class RecordingErrorLog : public IUErrorLog
{
public:
    explicit RecordingErrorLog(int level = 63, bool install = true);
    ~RecordingErrorLog() override;

    int open(const char* fileName, const char* mode) override;
    int close() override;
    int WriteLogByte(const void* bytes, int count) override;
    int writeTextAndBytes(const char* text, const void* bytes, int count) override;
    int writeLine(const char* text) override;
    CString getFileName() override;

    std::vector<std::string> lines() const;
    std::string last() const;
    size_t count() const;
    void clearLines();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    IUErrorLog* m_previous;
    bool m_installed;
};
