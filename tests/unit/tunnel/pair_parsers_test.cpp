// svpn's details and start parameters and the tunnel server's replies are read
// by one pair parser (parseKeyValueList, which parsePairs calls).
#include <gtest/gtest.h>

#include <string>

#include "foundation/UClasses.h"
#include "tunnel/VpnController.h"

namespace {

std::string listed(const UPropertyList& list)
{
    std::string out;
    for (int i = 0; i < list.getCount(); ++i)
        out += std::string("[") + list.getAt(i, 0) + "]=[" + list.getAt(i, 1) + "]";
    return out;
}

TEST(PairParsers, PairsReplaceTheWholeList)
{
    // The list holds something already: a text replaces it all.
    const auto expectPairs = [](const char* text, char separator, const char* pairs) {
        SCOPED_TRACE(text);
        UPropertyList list;
        list.setValue("stale", "1");
        tessal::qt::VpnController::parsePairs(text, separator, list);
        EXPECT_EQ(pairs, listed(list));
    };
    expectPairs("\t k \r\n\v\fv=\t1\f\n\n \nK=2\n", '\n', "[k]=[2][v]=[1]");
    expectPairs("result=0&&Result=5& bare &=z&==&a=b=c&", '&', "[result]=[5][bare]=[][]=[=][a]=[b=c]");
    expectPairs("a = 1\nb=2", '&', "[a]=[1\nb=2]");
    expectPairs("  \r\n\t", '&', "");
    expectPairs("\xa0n\xa0=\xa0v\xa0", '&', "[\xa0n\xa0]=[\xa0v\xa0]");
}

} // namespace
