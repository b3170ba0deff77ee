#include "foundation/UVersion.h"

#include "foundation/IUErrorLog.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/m_strings.h"
#include "foundation/str_helper.h"

namespace {

const char kFile[] = "/UVersion";
const int kMaxLength = 23;

} // namespace

UVersion::UVersion(const CString& text, size_t count) : m_parts(count, 0)
{
    CString reason;
    if (!parse(text, m_parts, reason, count)) {
        throw UException(-1, kFile, "UVersion::UVersion()", __LINE__, "EXCEPTION - %s, %s, %s",
                         "input data is not valid", static_cast<const char*>(text), static_cast<const char*>(reason));
    }
}

bool UVersion::isValid(const CString& text, size_t count)
{
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "EXCEPTION", "isValid"), code, [&] {
        std::vector<uint16_t> scratch;
        CString reason;
        code = parse(text, scratch, reason, count) ? 0 : -1;
    });
    return code == 0;
}

bool UVersion::parse(const CString& text, std::vector<uint16_t>& parts, CString& reason, size_t count)
{
    if (count == 0) {
        reason = "0 length strings are not allowed";
        return false;
    }
    if (text.GetLength() > kMaxLength) {
        reason = "input value is too long";
        return false;
    }
    if (!checkCharacterSet(text, "[0-9,.]", kMaxLength)) {
        reason = "invalid characters";
        return false;
    }

    CString rest(text);
    rest.Replace(',', '.');
    rest.TrimLeft();
    rest.TrimRight();

    UHashTable pieces;
    int stored = 0;
    for (;;) {
        CString left;
        CString right;
        const int at = splitString(rest, left, right, '.', false, false);
        if (!left.IsEmpty()) {
            pieces.setValue(toString(stored), left);
            ++stored;
        }
        if (at < 0 || right.IsEmpty())
            break;
        rest = right;
    }

    if (size_t(stored) != count) {
        reason = "wrong number of elements";
        return false;
    }

    std::vector<uint16_t> values(count, 0);
    for (int i = 0; i < stored; ++i) {
        bool ok = false;
        values[size_t(i)] = toUINT16(pieces.getPropertyValue(toString(i), ""), 0, &ok);
        if (!ok) {
            reason = CString("element #") + toString(i) + " is invalid";
            return false;
        }
    }
    parts = values;
    return true;
}
