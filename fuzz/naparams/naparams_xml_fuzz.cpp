// Any body the server sends must give a parameter text or a std::exception:
// no crash, no read out of bounds, no hang, and the same answer every time.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>

#include <QByteArray>
#include <QString>

#include "shell/NAParamsXml.h"

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::optional<QString> parse(const QByteArray& body)
{
    try {
        return tessal::qt::naParamsFromXml(body);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QString> first = parse(body);
    // Every pair ends in '&', so a text is empty or ends there.
    if (first)
        require(first->isEmpty() || first->endsWith(QLatin1Char('&')));
    const std::optional<QString> again = parse(body);
    require(first.has_value() == again.has_value() && (!first || *first == *again));
    return 0;
}
