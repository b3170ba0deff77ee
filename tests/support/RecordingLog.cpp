#include "RecordingLog.h"

#include <cstring>

namespace tessal {
namespace test {

RecordingLog::RecordingLog(int level, bool install) : m_installed(install)
{
    m_logLevel.store(level);
    if (install)
        m_previous = g_pErrorLog.exchange(this);
}

RecordingLog::~RecordingLog()
{
    if (m_installed)
        g_pErrorLog.store(m_previous);
}

int RecordingLog::open(const char*, const char*)
{
    return 0;
}

int RecordingLog::close()
{
    return 0;
}

void RecordingLog::record(std::string line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(std::move(line));
}

int RecordingLog::WriteLogByte(const void* bytes, int count)
{
    record(std::string(static_cast<const char*>(bytes), static_cast<size_t>(count)));
    return count;
}

int RecordingLog::writeTextAndBytes(const char* text, const void* bytes, int count)
{
    record(std::string("4,,,, ") + (text != nullptr ? text : "") +
           std::string(static_cast<const char*>(bytes), static_cast<size_t>(count)) + "\n");
    return count;
}

int RecordingLog::writeLine(const char* text)
{
    record(text != nullptr ? text : "");
    return text != nullptr ? static_cast<int>(std::strlen(text)) : 0;
}

CString RecordingLog::getFileName()
{
    return CString("memory");
}

std::vector<std::string> RecordingLog::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

QStringList RecordingLog::qLines() const
{
    QStringList out;
    for (const std::string& line : lines())
        out << QString::fromStdString(line);
    return out;
}

std::string RecordingLog::text() const
{
    std::string out;
    for (const std::string& line : lines())
        out += line;
    return out;
}

std::string RecordingLog::last() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.empty() ? std::string() : m_lines.back();
}

size_t RecordingLog::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.size();
}

bool RecordingLog::contains(const std::string& piece) const
{
    for (const std::string& line : lines())
        if (line.find(piece) != std::string::npos)
            return true;
    return false;
}

QStringList RecordingLog::withMessage(const QString& message) const
{
    const QString tail = QStringLiteral(", ") + message + QLatin1Char('\n');
    QStringList out;
    for (const QString& line : qLines())
        if (line.endsWith(tail))
            out << line;
    return out;
}

void RecordingLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}

} // namespace test
} // namespace tessal
