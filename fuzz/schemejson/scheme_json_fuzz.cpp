// Feeds arbitrary text to the JSON scheme erasers. Valid JSON must come out
// valid with nothing but the member removed; anything else either stays
// untouched or comes out valid.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include "shell/PreferenceTextEdits.h"

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool isValidJson(const std::string& text)
{
    QJsonParseError error{};
    QJsonDocument::fromJson(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())), &error);
    return error.error == QJsonParseError::NoError;
}

using Eraser = bool (*)(std::string&, const std::string&, const std::string&);

void erase(Eraser eraser, const std::string& input, const std::string& scheme, const std::string& key)
{
    const bool wasValid = isValidJson(input);
    std::string text = input;
    try {
        if (eraser(text, scheme, key)) {
            require(text.size() < input.size());
            require(isValidJson(text));
        } else {
            require(text == input);
        }
    } catch (const std::runtime_error&) {
        require(!wasValid);
        require(text == input);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    erase(tessal::qt::eraseJsonSchemeEntry, input, "tessal-vpn", "excluded_schemes");
    erase(tessal::qt::eraseJsonSchemeEntry, input, "s", "k");
    erase(tessal::qt::eraseJsonSchemeFromEveryEntry, input, "tessal-vpn", "allowed_origin_protocol_pairs");
    erase(tessal::qt::eraseJsonSchemeFromEveryEntry, input, "s", "k");
    return 0;
}
