#include "foundation/Helpers.h"

#include <QByteArray>

namespace tessal {
namespace qt {

CString toCStringUtf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return CString(bytes.constData(), bytes.size(), "");
}

} // namespace qt
} // namespace tessal
