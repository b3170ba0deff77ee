#include "RecordingErrorLog.h"

#include <cstring>

RecordingErrorLog::RecordingErrorLog(int level, bool install)
    : m_previous(nullptr), m_installed(install)
{
    m_logLevel.store(level);
    if (install)
        m_previous = g_pErrorLog.exchange(this);
}

RecordingErrorLog::~RecordingErrorLog()
{
    if (m_installed)
        g_pErrorLog.store(m_previous);
}

int RecordingErrorLog::open(const char*, const char*)
{
    return 0;
}

int RecordingErrorLog::close()
{
    return 0;
}

int RecordingErrorLog::WriteLogByte(const void* bytes, int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.emplace_back(static_cast<const char*>(bytes), static_cast<size_t>(count));
    return count;
}

int RecordingErrorLog::writeTextAndBytes(const char* text, const void* bytes, int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back(std::string("4,,,, ") + text + std::string(static_cast<const char*>(bytes), count) + "\n");
    return count;
}

int RecordingErrorLog::writeLine(const char* text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.emplace_back(text != nullptr ? text : "");
    return text != nullptr ? static_cast<int>(std::strlen(text)) : 0;
}

CString RecordingErrorLog::getFileName()
{
    return CString("memory");
}

std::vector<std::string> RecordingErrorLog::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::string RecordingErrorLog::last() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.empty() ? std::string() : m_lines.back();
}

size_t RecordingErrorLog::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.size();
}

void RecordingErrorLog::clearLines()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}
