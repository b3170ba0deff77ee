// Feeds arbitrary bytes to the launch-URL parser. A parse either throws
// UException or yields a record that keeps the parser's promises.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "session/InputParams.h"
#include "session/LaunchText.h"

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void checkValue(const CString& value)
{
    require(!launch_text::hasControlCharacter(value));
    require(std::strlen(value) == static_cast<std::size_t>(value.GetLength()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 20000)
        return 0;
    const CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    UHashTable table;
    try {
        InputParams params(text, table);
        require(text.GetLength() <= InputParamsBase::kMaxTextLength);
        require(params.port != 0);
        require(params.sid.GetLength() == 32);
        checkValue(params.server);
        checkValue(params.sid);
        checkValue(params.otc);
        checkValue(params.token);
        checkValue(params.resourcename);
        checkValue(params.resourcetype);
        require(params.packages.size() <= 10);
        for (const PackageEntry& entry : params.packages) {
            checkValue(entry.id);
            checkValue(entry.version);
            checkValue(entry.package);
        }
        const tessal::qt::SessionInfo info = tessal::qt::sessionInfoFromParams(params);
        require(!info.url.scheme().isEmpty());
    } catch (const UException&) {
    }
    return 0;
}
