#include "foundation/Helpers.h"

#include <QByteArray>

namespace {
constexpr int kShownSecretLength = 8;
} // namespace

std::string asciiLowered(std::string text)
{
    for (char& c : text)
        c = asciiLower(c);
    return text;
}

std::string asciiLowered(const char* text)
{
    return asciiLowered(std::string(text != nullptr ? text : ""));
}

bool containsNoCase(const char* text, const char* part)
{
    return asciiLowered(text).find(part != nullptr ? part : "") != std::string::npos;
}

QString asciiLowered(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() - 'A' + 'a');
    return out;
}

bool equalsNoCase(const QString& a, const QString& b)
{
    return a.size() == b.size() && asciiLowered(a) == asciiLowered(b);
}

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && asciiLowered(a) == asciiLowered(b);
}

CString shortSecret(const CString& secret)
{
    return secret.Right(kShownSecretLength);
}

namespace tessal {
namespace qt {

CString toCStringUtf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return CString(bytes.constData(), bytes.size(), "");
}

QString shortSecret(const QString& secret)
{
    return secret.right(kShownSecretLength);
}

} // namespace qt
} // namespace tessal
