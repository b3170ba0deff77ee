#include "foundation/UFileErrorLog.h"

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <QtGlobal>

#include "foundation/LogSettings.h"
#include "foundation/UException.h"
#include "foundation/m_system.h"
#include "tessal_config.h"

namespace {

const char kDefaultFileName[] = "log.txt";
const char kBackupSuffix[] = ".bak";
const char kRefusedSuffix[] = ".refused";
const uint32_t kInitialMaxSize = 0x500000;
const uint32_t kRotationCheckEvery = 50;

void reportRefusedLog(const char* name, const char* reason)
{
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        std::fprintf(stderr, "Log file %s not opened: %s\n", name, reason);
}

// The length of the well-formed UTF-8 sequence at t (n bytes at most), 0
// when none starts there.
size_t utf8Length(const unsigned char* t, size_t n)
{
    const unsigned char c = t[0];
    size_t length = 0;
    unsigned char low = 0x80, high = 0xbf; // the range of the second byte
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xc2 && c <= 0xdf) {
        length = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3;
        low = c == 0xe0 ? 0xa0 : low; // no overlong form
        high = c == 0xed ? 0x9f : high; // no surrogate
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4;
        low = c == 0xf0 ? 0x90 : low;
        high = c == 0xf4 ? 0x8f : high; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (n < length || t[1] < low || t[1] > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if (t[k] < 0x80 || t[k] > 0xbf)
            return 0;
    }
    return length;
}

// The length of what at t is written as it is, 0 when its first byte is
// escaped: a control character, NEL (U+0085), LINE SEPARATOR (U+2028) or
// PARAGRAPH SEPARATOR (U+2029), each of which a viewer may show as a new
// line, or a byte of no well-formed UTF-8 sequence, which makes a viewer
// read the whole file in a one-byte charset where the 0x85 inside many
// characters ("\xc3\x85" for one) is NEL.
size_t plainLength(const unsigned char* t, size_t n)
{
    if (t[0] < 0x20 || t[0] == 0x7f)
        return 0;
    const size_t length = utf8Length(t, n);
    if (length == 2 && t[0] == 0xc2 && t[1] == 0x85)
        return 0;
    if (length == 3 && t[0] == 0xe2 && t[1] == 0x80 && (t[2] == 0xa8 || t[2] == 0xa9))
        return 0;
    return length;
}

// Texts from servers, pages and companions must not start lines that read
// as records of their own: what could break a line inside a record becomes
// "\\n" (line feed) or "\\xNN" per byte. The line feeds that end the record
// stay. False, and out untouched, when the text holds nothing to escape.
bool escapeControls(const char* text, std::string& out)
{
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const size_t length = std::strlen(text);
    size_t end = length;
    while (end > 0 && text[end - 1] == '\n')
        --end;
    bool escaped = false;
    for (size_t i = 0; i < end;) {
        const size_t plain = plainLength(t + i, end - i);
        if (plain > 0) {
            if (escaped)
                out.append(text + i, plain);
            i += plain;
            continue;
        }
        if (!escaped)
            out.assign(text, i);
        escaped = true;
        if (t[i] == '\n') {
            out += "\\n";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", t[i]);
            out += hex;
        }
        ++i;
    }
    if (!escaped)
        return false;
    out.append(text + end, length - end);
    return true;
}

// Local time is broken down at most once per second; both log classes share it.
void cachedLocalTime(time_t second, struct tm& out)
{
    // Plain POSIX objects: nothing here is destroyed at exit, when late records may still come.
    static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    static time_t lastSecond = -1;
    static struct tm lastTime {};
    pthread_mutex_lock(&mutex);
    if (second != lastSecond) {
        localtime_r(&second, &lastTime);
        lastSecond = second;
    }
    out = lastTime;
    pthread_mutex_unlock(&mutex);
}

// The folder a log file lies in, opened once so that the file is opened,
// moved aside and rotated inside that very folder.
struct LogFolder {
    int fd = -1;
    uid_t owner = 0;
    gid_t group = 0;
    std::string base; // the file's name inside the folder
    LogFolder() = default;
    LogFolder(const LogFolder&) = delete;
    LogFolder& operator=(const LogFolder&) = delete;
    ~LogFolder()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens the folder of name, never through a symbolic link, and only when it
// is the effective user's own. Root may write into another user's folder
// (a cleanup run for that user): the log it makes there is given to the
// folder's owner, so no root-owned file is left in a user's folder.
const char* openLogFolder(const char* name, LogFolder& folder, int& error)
{
    const std::string path(name);
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".")
                          : slash == 0                 ? std::string("/")
                                                       : path.substr(0, slash);
    folder.base = slash == std::string::npos ? path : path.substr(slash + 1);
    folder.fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder.fd < 0) {
        error = errno != 0 ? errno : EIO;
        return error == ELOOP || error == ENOTDIR ? "its folder is a symbolic link or no folder" : "";
    }
    struct stat info {};
    if (::fstat(folder.fd, &info) != 0) {
        error = errno != 0 ? errno : EIO;
        return "its folder's status cannot be read";
    }
    if (!S_ISDIR(info.st_mode)) {
        error = ENOTDIR;
        return "its folder is a symbolic link or no folder";
    }
    if (info.st_uid != ::geteuid() && ::geteuid() != 0) {
        error = EPERM;
        return "its folder belongs to another user";
    }
    folder.owner = info.st_uid;
    folder.group = info.st_gid;
    return nullptr;
}

// Why the file at the folder's name cannot be the log, or nullptr. fd is the
// open file, or -1 when the open itself failed with error.
const char* refusalOf(int fd, int error, const LogFolder& folder)
{
    if (fd < 0) {
        switch (error) {
        case ELOOP: return "it is a symbolic link";
        case EISDIR:
        case ENXIO: // a FIFO without a reader, opened without blocking
        case ENODEV:
        case ETXTBSY: return "it is not a regular file";
        case EACCES:
        case EPERM: // a file of root's left in the user's folder
            return "it cannot be opened for writing";
        default: return nullptr;
        }
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return "its status cannot be read";
    if (!S_ISREG(info.st_mode))
        return "it is not a regular file";
    // A second name may lie where the user must not write (a hard link
    // planted to a file of root's).
    if (info.st_nlink != 1)
        return "it has more than one link";
    if (info.st_uid != folder.owner)
        return "it belongs to another user";
    return nullptr;
}

// Opens (or creates) the folder's file; created tells whether it is new.
// O_NONBLOCK: a FIFO in its place must not stop the open; the flag is taken
// off again once the file is known to be a regular one.
int openInFolder(const LogFolder& folder, int flags, bool& created, int& error)
{
    created = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::openat(folder.fd, folder.base.c_str(), flags | O_NONBLOCK);
        if (fd >= 0 || errno != ENOENT) {
            error = fd >= 0 ? 0 : errno;
            return fd;
        }
        fd = ::openat(folder.fd, folder.base.c_str(), flags | O_NONBLOCK | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            error = errno;
            return -1;
        }
        // A new file in another user's folder is theirs before anything is
        // written to it; root's it would stay if this failed, so it goes.
        if (folder.owner != ::geteuid() && ::fchown(fd, folder.owner, folder.group) != 0) {
            error = errno != 0 ? errno : EPERM;
            ::close(fd);
            ::unlinkat(folder.fd, folder.base.c_str(), 0);
            return -1;
        }
        error = 0;
        created = true;
        return fd;
    }
    error = EEXIST;
    return -1;
}

// Opens the log as fopen would with mode ("a", "w", with or without "+"),
// but never through a symbolic link, never inherited by children, and only
// when it is a regular file with one link, of the folder's owner, in a folder
// of the user's own (see openLogFolder): a planted link or a foreign file
// must not make a privileged run write elsewhere. Anything else in its place
// is moved aside to "<name>.refused" and a fresh log started, so logging
// goes on; movedAside then says why. A log that cannot be opened is reported
// on standard error once (there is no log to write it to).
FILE* openOwnFile(const char* name, const char* mode, int& error, std::string& movedAside)
{
    const bool truncate = mode[0] == 'w';
    const bool update = std::strchr(mode, '+') != nullptr;
    int flags = (update ? O_RDWR : O_WRONLY) | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    if (!truncate)
        flags |= O_APPEND;

    LogFolder folder;
    if (const char* refusal = openLogFolder(name, folder, error)) {
        if (*refusal != '\0')
            reportRefusedLog(name, refusal);
        return nullptr;
    }

    bool created = false;
    int fd = openInFolder(folder, flags, created, error);
    const char* refusal = refusalOf(fd, error, folder);
    if (fd < 0 && refusal == nullptr)
        return nullptr;
    if (refusal != nullptr) {
        if (fd >= 0)
            ::close(fd);
        // The folder is the user's (or root's for that user): whatever lies
        // at the name may be put aside.
        const std::string aside = folder.base + kRefusedSuffix;
        if (::renameat(folder.fd, folder.base.c_str(), folder.fd, aside.c_str()) != 0) {
            error = EPERM;
            reportRefusedLog(name, refusal);
            return nullptr;
        }
        movedAside = std::string(name) + kRefusedSuffix + " (" + refusal + ")";
        fd = openInFolder(folder, flags, created, error);
        if (fd < 0 || refusalOf(fd, error, folder) != nullptr) {
            if (fd >= 0)
                ::close(fd);
            error = fd >= 0 || error == 0 ? EPERM : error;
            reportRefusedLog(name, refusal);
            return nullptr;
        }
    }

    const char* failure = nullptr;
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        failure = "its flags cannot be set";
    else if (truncate && ::ftruncate(fd, 0) != 0)
        failure = "it cannot be truncated";
    if (failure != nullptr) {
        ::close(fd);
        if (created)
            ::unlinkat(folder.fd, folder.base.c_str(), 0);
        reportRefusedLog(name, failure);
        error = EPERM;
        return nullptr;
    }
    // A log in another user's folder is that user's: only they read it.
    ::fchmod(fd, ::geteuid() == 0 && folder.owner == 0 ? 0644 : 0600);

    FILE* file = ::fdopen(fd, truncate ? (update ? "w+" : "w") : (update ? "a+" : "a"));
    if (file == nullptr) {
        error = errno != 0 ? errno : EIO;
        ::close(fd);
    }
    return file;
}

long currentThreadId()
{
    static thread_local long tid = static_cast<long>(::syscall(SYS_gettid));
    return tid;
}

} // namespace

// ---------------------------------------------------------------------------

void UFileErrorLogBase::setProperty(const char* key, const char* value)
{
    if (key != nullptr && std::strcmp(key, "module_name") == 0)
        m_moduleName = value;
}

// ---------------------------------------------------------------------------

UFileErrorLog::UFileErrorLog()
    : m_pid(static_cast<int>(::getpid())), m_maxSize(kInitialMaxSize), m_file(nullptr), m_writeCount(0)
{}

UFileErrorLog::~UFileErrorLog()
{
    close();
}

CString UFileErrorLog::executablePath()
{
    return SGetModuleFileName();
}

CString UFileErrorLog::toolkitVersion()
{
    return CString(qVersion());
}

int UFileErrorLog::open(const char* fileName, const char* mode)
{
    return openFile(fileName, mode, true);
}

int UFileErrorLog::openFile(const char* fileName, const char* mode, bool reloadLevel)
{
    if (m_file != nullptr)
        return 0;

    reloadConfig(reloadLevel);

    CString folder;
    if (getConfigFolder(folder, true).IsEmpty())
        return ENOENT; // no home folder: nothing is created, the log stays closed

    m_fileName = (fileName != nullptr && *fileName != '\0') ? fileName : kDefaultFileName;
    int error = 0;
    std::string movedAside;
    FILE* file = openOwnFile(m_fileName, mode != nullptr ? mode : "a", error, movedAside);
    if (file == nullptr)
        return error;

    struct stat info {};
    // Runs shorter than the check interval never rotate: the size is also
    // checked when the log is opened.
    if (::fstat(::fileno(file), &info) == 0 && static_cast<uint64_t>(info.st_size) > m_maxSize) {
        std::fclose(file);
        moveToBackup(m_fileName);
        std::string alsoMoved;
        file = openOwnFile(m_fileName, "w", error, alsoMoved);
        if (file == nullptr)
            return error;
        if (movedAside.empty())
            movedAside = alsoMoved;
    }
    bool empty = ::fstat(::fileno(file), &info) == 0 && info.st_size == 0;
    {
        ULockHolder guard(m_lock);
        m_file = file;
        if (empty) {
            std::fputs(systemBanner(), m_file);
            std::fflush(m_file);
        }
    }
    writeHeaderBlock();
    if (!movedAside.empty())
        WriteLog(ULOG_LEVEL_WARNING, "Log file moved aside to %s\n", movedAside.c_str());
    return 0;
}

// The level is read at start-up; a rotation keeps the level in force (the
// page may have changed it) and only takes a new size limit.
void UFileErrorLog::reloadConfig(bool reloadLevel)
{
    const int level = reloadLevel ? readLogLevel(m_moduleName) : 0;
    m_maxSize = static_cast<uint32_t>(readLogFileSize());
    if (reloadLevel)
        setLogLevel(level);
}

void UFileErrorLog::writeHeaderBlock()
{
    static const char kRule[] = " =====================================\n";
    try {
        writeMessage(" \n");
        writeMessage(kRule);
        WriteLog(" Location: %s\n", static_cast<const char*>(executablePath()));
        WriteLog(" Version: %s\n", TESSAL_VERSION);
        const char* locale = std::setlocale(LC_ALL, nullptr);
        WriteLog(" Locale: %s\n", locale != nullptr ? locale : "");
        WriteLog(" Qt version: %s\n", static_cast<const char*>(toolkitVersion()));
        writeMessage(kRule);
        writeMessage(" \n");
        WriteLog(ULOG_LEVEL_VERBOSE, "current log level = %d\n", getLogLevel());
    } catch (const UException&) {
        // The executable path could not be read (its record is written):
        // the file stays open without the rest of the header.
    }
}

int UFileErrorLog::close()
{
    ULockHolder guard(m_lock);
    if (m_file != nullptr) {
        std::fflush(m_file);
        std::fclose(m_file);
        m_file = nullptr;
    }
    return 0;
}

CString UFileErrorLog::getFileName()
{
    ULockHolder guard(m_lock);
    return m_fileName;
}

size_t UFileErrorLog::recordHeader(char* out, size_t size)
{
    struct timeval now {};
    ::gettimeofday(&now, nullptr);
    struct tm parts {};
    cachedLocalTime(now.tv_sec, parts);
    int length = std::snprintf(out, size, "%04d-%02d-%02d,%2d:%02d:%02d:%03d, %d,%ld,%s, ", parts.tm_year + 1900,
                               parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                               static_cast<int>(now.tv_usec / 1000), m_pid, currentThreadId(),
                               static_cast<const char*>(m_moduleName));
    if (length < 0)
        return 0;
    return static_cast<size_t>(length) < size ? static_cast<size_t>(length) : size - 1;
}

// Writes header, prefix, text, bytes and suffix as one record and flushes;
// the caller holds the lock and has checked that the file is open.
bool UFileErrorLog::writeRecord(const char* prefix, const char* text, const void* bytes, size_t count,
                                const char* suffix)
{
    char header[256];
    size_t headerLength = recordHeader(header, sizeof(header));
    bool ok = std::fwrite(header, 1, headerLength, m_file) == headerLength;
    if (prefix != nullptr)
        ok = ok && std::fputs(prefix, m_file) >= 0;
    std::string escaped;
    if (text != nullptr && escapeControls(text, escaped))
        text = escaped.c_str();
    if (text != nullptr && *text != '\0')
        ok = ok && std::fputs(text, m_file) >= 0;
    if (bytes != nullptr && count > 0)
        ok = ok && std::fwrite(bytes, 1, count, m_file) == count;
    if (suffix != nullptr)
        ok = ok && std::fputs(suffix, m_file) >= 0;
    ok = (std::fflush(m_file) == 0) && ok;
    return ok;
}

int UFileErrorLog::writeLine(const char* text)
{
    ULockHolder guard(m_lock);
    if (m_file == nullptr)
        return -1;
    int result = -1;
    try {
        if (writeRecord(nullptr, text, nullptr, 0, nullptr))
            result = text != nullptr ? static_cast<int>(std::strlen(text)) : 0;
        rotateIfNeeded();
    } catch (...) {
        result = -1;
    }
    return result;
}

int UFileErrorLog::writeTextAndBytes(const char* text, const void* bytes, int count)
{
    ULockHolder guard(m_lock);
    if (m_file == nullptr)
        return -1;
    int result = -1;
    try {
        if (writeRecord("4,,,, ", text, bytes, count > 0 ? static_cast<size_t>(count) : 0, "\n"))
            result = count;
        rotateIfNeeded();
    } catch (...) {
        result = -1;
    }
    return result;
}

int UFileErrorLog::WriteLogByte(const void* bytes, int count)
{
    ULockHolder guard(m_lock);
    if (m_file == nullptr)
        return -1;
    int result = count;
    try {
        size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
        if (wanted > 0 && (bytes == nullptr || std::fwrite(bytes, 1, wanted, m_file) != wanted)) {
            char error[16];
            std::snprintf(error, sizeof(error), "%d", errno);
            throw UException(-1, "/UFileErrorLog", "UFileErrorLog::WriteLogByte", __LINE__, "EXCEPTION - %s, %s",
                             "fwrite() failed (error)", error);
        }
        if (std::fputs("\n\n", m_file) < 0) {
            char error[16];
            std::snprintf(error, sizeof(error), "%d", errno);
            throw UException(-1, "/UFileErrorLog", "UFileErrorLog::WriteLogByte", __LINE__, "EXCEPTION - %s, %s",
                             "_ftprintf() failed (error)", error);
        }
    } catch (...) {
        result = -1;
    }
    try {
        if (m_file != nullptr)
            std::fflush(m_file);
        rotateIfNeeded();
    } catch (...) {
        result = -1;
    }
    return result;
}

void UFileErrorLog::rotateIfNeeded()
{
    ++m_writeCount;
    if (m_writeCount % kRotationCheckEvery != 0)
        return;
    struct stat info {};
    if (m_file == nullptr || ::fstat(::fileno(m_file), &info) != 0 || static_cast<uint64_t>(info.st_size) <= m_maxSize)
        return;

    std::fclose(m_file);
    m_file = nullptr;
    CString name = m_fileName;
    moveToBackup(name);
    openFile(name, "w", false);
}

void UFileErrorLog::moveToBackup(const char* name)
{
    // Renamed inside the folder the log was checked in, not through its path again.
    LogFolder folder;
    int error = 0;
    if (openLogFolder(name, folder, error) == nullptr) {
        const std::string backup = folder.base + kBackupSuffix;
        if (::renameat(folder.fd, folder.base.c_str(), folder.fd, backup.c_str()) != 0)
            ::unlinkat(folder.fd, folder.base.c_str(), 0);
    }
}

// ---------------------------------------------------------------------------

int UOutputErrorLog::open(const char*, const char*)
{
    return 0;
}
int UOutputErrorLog::close()
{
    return 0;
}
int UOutputErrorLog::WriteLogByte(const void*, int)
{
    return 0;
}
int UOutputErrorLog::writeTextAndBytes(const char*, const void*, int)
{
    return 0;
}
CString UOutputErrorLog::getFileName()
{
    return CString();
}

int UOutputErrorLog::writeLine(const char* text)
{
    struct timeval now {};
    ::gettimeofday(&now, nullptr);
    struct tm parts {};
    cachedLocalTime(now.tv_sec, parts);
    std::printf("%2d:%02d:%02d:%03d, (%lu)  ", parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(now.tv_usec / 1000), static_cast<unsigned long>(currentThreadId()));
    std::string escaped;
    CString line(text != nullptr && escapeControls(text, escaped) ? escaped.c_str() : text);
    int length = line.GetLength();
    if (length == 0 || line.GetAt(length - 1) != '\n')
        line += "\r\n";
    std::puts(line);
    return 0;
}

// ---------------------------------------------------------------------------
// The process-wide instance

namespace {

alignas(UFileErrorLog) unsigned char g_errorLogStorage[sizeof(UFileErrorLog)];

struct ErrorLogLifetime {
    ErrorLogLifetime()
    {
        UFileErrorLog* log = new (g_errorLogStorage) UFileErrorLog();
        IUErrorLog* expected = nullptr;
        g_pErrorLog.compare_exchange_strong(expected, log);
    }
    ~ErrorLogLifetime()
    {
        UFileErrorLog* log = reinterpret_cast<UFileErrorLog*>(g_errorLogStorage);
        IUErrorLog* expected = log;
        g_pErrorLog.compare_exchange_strong(expected, nullptr);
        // Closed under the lock; the object itself (and its lock) stays.
        log->close();
    }
};

ErrorLogLifetime g_errorLogLifetime;

} // namespace

UFileErrorLog& g_errorLog = *reinterpret_cast<UFileErrorLog*>(g_errorLogStorage);

// Referenced by the link options of the foundation library, so that this
// object file (and with it the log) is part of every program.
extern "C" {
extern const int tessal_file_error_log_anchor;
const int tessal_file_error_log_anchor = 1;
}
