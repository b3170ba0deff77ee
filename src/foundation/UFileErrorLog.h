#pragma once
// The process-wide error log file: a timestamped header before every record,
// rotation to "<name>.bak" past the size limit, and a system banner and header
// block at the head of every new file.

#include <cstdint>
#include <cstdio>

#include "foundation/IUErrorLog.h"
#include "foundation/UClasses.h"
#include "foundation/m_sync.h"

class UFileErrorLogBase : public UObject, public IUErrorLog
{
public:
    UFileErrorLogBase() = default;

    // "module_name" sets the module field of every record header.
    void setProperty(const char* key, const char* value) override;

protected:
    CString m_moduleName;
};

class UFileErrorLog : public UFileErrorLogBase
{
public:
    UFileErrorLog();
    ~UFileErrorLog() override;

    int open(const char* fileName, const char* mode) override;
    int close() override;
    int writeLine(const char* text) override;
    int WriteLogByte(const void* bytes, int count) override;
    int writeTextAndBytes(const char* text, const void* bytes, int count) override;
    CString getFileName() override;

    uint32_t getMaxSize() const { return m_maxSize; }

protected:
    // The header block's executable path and toolkit version.
    virtual CString executablePath();
    virtual CString toolkitVersion();

private:
    int openFile(const char* fileName, const char* mode, bool reloadLevel);
    void reloadConfig(bool reloadLevel);
    void writeHeaderBlock();
    size_t recordHeader(char* out, size_t size);
    bool writeRecord(const char* prefix, const char* text, const void* bytes, size_t count, const char* suffix);
    void rotateIfNeeded();
    // Renames the closed log to its backup, or removes it when that fails.
    void moveToBackup(const char* name);

    int m_pid;
    uint32_t m_maxSize;
    UCriticalSection m_lock;
    CString m_fileName;
    FILE* m_file;
    uint32_t m_writeCount;
};

// Writes every record to standard output; nothing in the program builds one.
class UOutputErrorLog : public UObject, public IUErrorLog
{
public:
    int open(const char* fileName, const char* mode) override;
    int close() override;
    int writeLine(const char* text) override;
    int WriteLogByte(const void* bytes, int count) override;
    int writeTextAndBytes(const char* text, const void* bytes, int count) override;
    CString getFileName() override;
};

// The one file log of the process, built before main and installed as
// g_pErrorLog when nothing else is. It is never destroyed: at exit the
// pointer is cleared and the file closed under the log's lock, so a thread
// still holding the pointer finds a closed log instead of freed memory.
extern UFileErrorLog& g_errorLog;
