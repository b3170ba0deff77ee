// svpn's details and start parameters and the tunnel server's replies are read
// by one pair parser: the same text gives the same list on both roads.
#include <gtest/gtest.h>

#include <string>

#include "foundation/UClasses.h"
#include "tunnel/UTunnelManagerHelpers.h"
#include "tunnel/VpnController.h"

namespace {

std::string listed(const UPropertyList& list)
{
    std::string out;
    for (int i = 0; i < list.getCount(); ++i)
        out += std::string("[") + list.getAt(i, 0) + "]=[" + list.getAt(i, 1) + "]";
    return out;
}

TEST(PairParsers, OneResultOnBothRoads)
{
    // Each road starts from a list that holds something already.
    const auto expectOnBoth = [](const char* text, char separator, const char* pairs) {
        SCOPED_TRACE(text);
        UPropertyList details;
        details.setValue("stale", "1");
        tessal::qt::VpnController::parsePairs(text, separator, details);
        UPropertyList reply;
        reply.setValue("stale", "1");
        parseKeyValueList(reply, text, separator, '=');
        EXPECT_EQ(pairs, listed(details));
        EXPECT_EQ(pairs, listed(reply));
    };
    expectOnBoth("\t k \r\n\v\fv=\t1\f\n\n \nK=2\n", '\n', "[k]=[2][v]=[1]");
    expectOnBoth("result=0&&Result=5& bare &=z&==&a=b=c&", '&', "[result]=[5][bare]=[][]=[=][a]=[b=c]");
    expectOnBoth("a = 1\nb=2", '&', "[a]=[1\nb=2]");
    expectOnBoth("  \r\n\t", '&', "");
    expectOnBoth("\xa0n\xa0=\xa0v\xa0", '&', "[\xa0n\xa0]=[\xa0v\xa0]");
}

} // namespace
