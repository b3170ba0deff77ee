#pragma once
// A process log for tests: keeps every record in memory, one entry a write,
// and (by default) installs itself as the process log for its lifetime; the
// previous log comes back afterwards. Safe to write from any thread.

#include "foundation/IUErrorLog.h"

#include <QString>
#include <QStringList>

#include <mutex>
#include <string>
#include <vector>

namespace tessal {
namespace test {

class RecordingLog : public IUErrorLog
{
public:
    explicit RecordingLog(int level = ULOG_LEVEL_EXTENDED, bool install = true);
    ~RecordingLog() override;

    int open(const char* fileName, const char* mode) override;
    int close() override;
    int WriteLogByte(const void* bytes, int count) override;
    int writeTextAndBytes(const char* text, const void* bytes, int count) override;
    int writeLine(const char* text) override;
    CString getFileName() override;

    std::vector<std::string> lines() const;
    // The records as texts (UTF-8), for tests that work with Qt strings.
    QStringList qLines() const;
    // Every record, one after the other.
    std::string text() const;
    std::string last() const;
    size_t count() const;
    bool contains(const std::string& piece) const;
    // Records ending in ", <message>\n" (the message part of a record).
    QStringList withMessage(const QString& message) const;
    void clear();

private:
    void record(std::string line);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    IUErrorLog* m_previous = nullptr;
    bool m_installed;
};

} // namespace test
} // namespace tessal
