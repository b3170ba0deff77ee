#include "shell/NAParamsXml.h"

#include "foundation/InputDepth.h"

#include <QCoreApplication>

#include <sstream>
#include <stdexcept>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace tessal {
namespace qt {

QString naParamsFromXml(const QByteArray& xml)
{
    namespace pt = boost::property_tree;
    // The reader recurses per element: a deep reply would overflow the stack.
    if (!withinInputDepth(xml.constData(), static_cast<size_t>(xml.size()), InputMarkup::Xml))
        throw std::runtime_error(
            QCoreApplication::translate("tessal::qt::BrowserController", "The reply is nested deeper than %1 levels")
                .arg(kMaxInputDepth)
                .toStdString());
    std::istringstream in(std::string(xml.constData(), static_cast<size_t>(xml.size())));
    pt::ptree tree;
    pt::read_xml(in, tree);
    std::string text;
    for (const auto& child : tree.get_child("favorite").get_child("object")) {
        text += child.first.c_str();
        text += '=';
        text += child.second.data().c_str();
        text += '&';
    }
    return QString::fromUtf8(text.c_str());
}

} // namespace qt
} // namespace tessal
