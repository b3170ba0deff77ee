#include "foundation/Uri.h"

#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"

namespace {

const Uri::SchemeInfo kSchemes[] = {
    {Uri::Http, 80, "http"},
    {Uri::Https, 443, "https"},
    {Uri::Ftp, 21, "ftp"},
    {Uri::File, 0, "file"},
};

} // namespace

const Uri::SchemeInfo& Uri::getDefaultPort(const char* scheme)
{
    for (const SchemeInfo& info : kSchemes) {
        if (compareNoCase(info.name, scheme != nullptr ? scheme : "") == 0)
            return info;
    }
    UArgFormat message("Unknown scheme: '%1'");
    message.arg(scheme);
    throw UException(-1, "/Uri", "", 108, "EXCEPTION - %s", message.str());
}
