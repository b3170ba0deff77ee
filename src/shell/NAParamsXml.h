#pragma once
// The network access parameters come from the server as XML; the page wants
// them as one query-like text.

#include <QByteArray>
#include <QString>

namespace tessal {
namespace qt {

// key=value& per child of favorite/object, in document order. Throws
// std::exception (boost's ptree errors) when the body is not such a document
// or nests deeper than the bound on outside input.
QString naParamsFromXml(const QByteArray& xml);

} // namespace qt
} // namespace tessal
