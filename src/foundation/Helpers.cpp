#include "foundation/Helpers.h"

#include <QByteArray>

namespace {
constexpr int kShownSecretLength = 8;
} // namespace

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
