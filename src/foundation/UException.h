#pragma once
// UException: the library's one exception type. Building one with a message
// writes its record to the process log at once, so every thrown failure
// leaves a trace even when a caller swallows it.

#include "foundation/IUErrorLog.h"

#include <cstdarg>
#include <cxxabi.h>
#include <exception>
#include <utility>

class UException : public std::exception
{
public:
    UException();
    explicit UException(const char* format, ...) __attribute__((format(printf, 2, 3)));
    UException(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    UException(int code, const char* file, const char* function, int line, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    UException(const UException& other);
    UException& operator=(const UException& other);
    ~UException() override;

    // The message; "" when there is none (getMessage gives null then).
    const char* what() const noexcept override;

    const char* getMessage() const { return m_message; }
    int getCode() const { return m_code; }
    int getLine() const { return m_line; }
    const char* getFile() const { return m_file; }
    const char* getFunction() const { return m_function; }
    bool hasMessage() const { return m_message != nullptr; }

    void setLine(int line) { m_line = line; }
    void setFile(const char* file);
    void setFunction(const char* function);
    void setMessageText(const char* text);
    const char* setMessage(const char* text);
    int setUnknown(int code);
    void clear();

protected:
    void init(int code, const char* file, const char* function, int line, const char* format, va_list args);
    void writeToLog(const char* text) const;

private:
    bool storeText(char*& field, const char* text, bool limited);
    void copyFrom(const UException& other);

    char* m_message;
    char* m_function;
    char* m_file;
    int m_line;
    int m_code;
};

// A silent early exit from a guarded block: carries nothing, writes nothing.
class UBreakException : public UException
{
public:
    UBreakException() = default;
    UBreakException(const UBreakException&) = default;
    UBreakException& operator=(const UBreakException&) = default;
    ~UBreakException() override;
};

// Throw-site convention: code -1, the source file's record name, the
// function text, the line, and one of the "EXCEPTION - %s..." templates.
#define UTHROW(file, function, format, ...) throw UException(-1, (file), (function), __LINE__, (format), __VA_ARGS__)

// Where a guarded operation runs: its source file's record name, the line of
// its handlers, its tag ("isNumber() - EXCEPTION") and its operation name
// (the function field of the forced-unwind record).
struct UCatchSite {
    const char* file;
    int line;
    const char* tag;
    const char* operation;
};

#define UCATCH_SITE(file, tag, operation) (UCatchSite{(file), __LINE__, (tag), (operation)})

namespace ucatch {
void recordUException(const UCatchSite& site);
void recordStdException(const UCatchSite& site, const std::exception& e);
void recordForcedUnwind(const UCatchSite& site);
void recordUnknown(const UCatchSite& site);
} // namespace ucatch

// The one uniform handler. Runs body (which may set result itself) with the
// handlers in this order:
//  1. UBreakException: no record, result unchanged;
//  2. UException: "EXCEPTION caught: <tag>", result = its code, *record = copy;
//  3. std::exception: "<tag>, <what>", result = failure;
//  4. forced unwind (thread cancellation): recorded, then passed on;
//  5. anything else: "EXCEPTION caught: <tag>", record->setMessage(tag), result = failure.
// Returns result.
// Thread cancellation unwinds with an exception that has no object; the
// sanitizer's null-reference check would flag the handler that catches it.
#if defined(__clang__) || defined(__GNUC__)
#define UFORCED_UNWIND_HANDLER __attribute__((no_sanitize("null")))
#else
#define UFORCED_UNWIND_HANDLER
#endif

template <typename Body>
UFORCED_UNWIND_HANDLER int guardOperation(const UCatchSite& site, int& result, Body&& body, int failure = -1,
                                          UException* record = nullptr)
{
    try {
        std::forward<Body>(body)();
    } catch (const UBreakException&) {
    } catch (const UException& e) {
        ucatch::recordUException(site);
        result = e.getCode();
        if (record != nullptr)
            *record = e;
    } catch (const std::exception& e) {
        ucatch::recordStdException(site, e);
        result = failure;
    } catch (abi::__forced_unwind&) {
        ucatch::recordForcedUnwind(site);
        throw;
    } catch (...) {
        ucatch::recordUnknown(site);
        if (record != nullptr)
            record->setMessage(site.tag);
        result = failure;
    }
    return result;
}
