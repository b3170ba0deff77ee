#pragma once
// A process log for the HTTP tests: keeps the record lines in memory while it
// is installed.

#include "foundation/IUErrorLog.h"

#include <QString>
#include <QStringList>

#include <mutex>

namespace tessal::test {

class HttpRecordingLog : public IUErrorLog {
public:
    HttpRecordingLog()
    {
        m_logLevel.store(63);
        m_previous = g_pErrorLog.exchange(this);
    }
    ~HttpRecordingLog() override { g_pErrorLog.store(m_previous); }

    int open(const char*, const char*) override { return 0; }
    int close() override { return 0; }
    int WriteLogByte(const void*, int count) override { return count; }
    int writeTextAndBytes(const char*, const void*, int count) override { return count; }
    int writeLine(const char* text) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines << QString::fromUtf8(text ? text : "");
        return 0;
    }
    CString getFileName() override { return CString(""); }

    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    // Lines ending in ", <message>\n" (the message part of a record).
    QStringList withMessage(const QString& message) const
    {
        QStringList out;
        for (const QString& l : lines())
            if (l.endsWith(QStringLiteral(", ") + message + QLatin1Char('\n')))
                out << l;
        return out;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    IUErrorLog* m_previous = nullptr;
};

}  // namespace tessal::test
