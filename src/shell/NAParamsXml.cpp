#include "shell/NAParamsXml.h"

#include <sstream>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace tessal {
namespace qt {

QString naParamsFromXml(const QByteArray& xml)
{
    namespace pt = boost::property_tree;
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
