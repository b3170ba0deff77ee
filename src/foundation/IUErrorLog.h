#pragma once
// IUErrorLog: the interface every diagnostic record goes through, reached by
// the one process-wide pointer g_pErrorLog (null when no log is installed:
// records are then dropped).

#include "foundation/String.h"
#include "foundation/UArgFormat.h"

#include <atomic>

// Record levels.
enum : int {
    ULOG_LEVEL_ERROR = 1,
    ULOG_LEVEL_WARNING = 2,
    ULOG_LEVEL_VERBOSE = 48,
};
// Settings-file values: the basic and the extended (default) setting.
enum : int {
    ULOG_LEVEL_BASIC = 31,
    ULOG_LEVEL_EXTENDED = 63,
};

class IUErrorLog
{
public:
    IUErrorLog();

    // Slot order as the log implementations expect it.
    virtual int open(const char* fileName, const char* mode) = 0;
    virtual int close() = 0;
    virtual int WriteLog(const char* format, ...) __attribute__((format(printf, 2, 3)));
    virtual int WriteLog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
    virtual int writeMessage(const char* text);
    virtual int writeLevelMessage(int level, const char* text);
    virtual int writeMessageAlways(const char* text);
    virtual int WriteLogByte(const void* bytes, int count) = 0;
    virtual int writeTextAndBytes(const char* text, const void* bytes, int count) = 0;
    virtual int writeHexBytes(int priority, const void* bytes, int count);
    virtual int writeLine(const char* text) = 0;
    virtual CString getFileName() = 0;
    virtual int getLogLevel() const;
    virtual int setLogLevel(int level);
    virtual void setProperty(const char* key, const char* value);
    virtual ~IUErrorLog();

    IUErrorLog(const IUErrorLog&) = delete;
    IUErrorLog& operator=(const IUErrorLog&) = delete;

protected:
    // Formats into the record buffer of WriteLog (at most 5119 characters).
    static CString formatRecordText(const char* format, va_list args);

    // Read and written from any thread.
    std::atomic<int> m_logLevel;
};

// The process-wide log; null before the log exists and once exit has begun.
extern std::atomic<IUErrorLog*> g_pErrorLog;

// printf-style records "<level>,,,, <text>" through g_pErrorLog; the text is
// cut at 2047 characters. Levels 2 and 48 are filtered by the current level.
int ERRORLOGLEVEL1(const char* format, ...) __attribute__((format(printf, 1, 2)));
int ERRORLOGLEVEL2(const char* format, ...) __attribute__((format(printf, 1, 2)));
int ERRORLOGLEVEL48(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log when a record of this level is to be written, else null.
inline IUErrorLog* ulogFor(int level)
{
    IUErrorLog* log = g_pErrorLog.load();
    return (log != nullptr && log->getLogLevel() >= level) ? log : nullptr;
}

// Writes one program message "level, file, line, function, message\n"
// through log (one writeLine call, so records never interleave).
template <typename Message>
int ulogWriteRecord(IUErrorLog* log, int level, const char* file, int line, const char* function,
                    const Message& message)
{
    return log->writeLine(makeLogRecord(level, file, line, function, message).str());
}

// The writing idiom: test the level first, build the record only when it
// passes. file is the source file's record name ("/m_sync"), function the
// writer's name; message is a text, CString, QString or a UArgFormat.
#define ULOG_AT(level, file, line, function, message)                                 \
    do {                                                                              \
        if (IUErrorLog* ulog_ = ::ulogFor(level))                                     \
            ::ulogWriteRecord(ulog_, (level), (file), (line), (function), (message)); \
    } while (0)

#define ULOG(level, file, function, message) ULOG_AT(level, file, __LINE__, function, message)
#define ULOG_ERROR(file, function, message) ULOG(ULOG_LEVEL_ERROR, file, function, message)
#define ULOG_WARNING(file, function, message) ULOG(ULOG_LEVEL_WARNING, file, function, message)
#define ULOG_VERBOSE(file, function, message) ULOG(ULOG_LEVEL_VERBOSE, file, function, message)
