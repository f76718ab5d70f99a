// Packets beyond what the toolkit's parser can take safely are refused before it sees them.
#include "objectmodel/InterfacePtr.h"
#include "xmp/XMPPacketAccess.h"
#include "xmp/XMPPacketLimits.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Packet(const std::string& body) {
    return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:t=\"http://ns.example.com/t/\">" +
           body + "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

// A property nested the given number of levels below the description (structs in structs).
std::string Nested(size_t levels) {
    std::string open, close;
    for (size_t i = 0; i < levels; ++i) {
        open += "<t:s rdf:parseType=\"Resource\">";
        close += "</t:s>";
    }
    return Packet(open + "<t:leaf>x</t:leaf>" + close);
}

std::string Siblings(size_t count) {
    std::string body;
    for (size_t i = 0; i < count; ++i) body += "<t:p" + std::to_string(i) + ">v</t:p" + std::to_string(i) + ">";
    return Packet(body);
}

TEST(XMPPacketLimitsTest, PacketsBeyondTheLimitsAreRefusedBeforeParsing) {
    struct Case {
        std::string what;
        std::string rdf;
        bool accepted;
    };
    const size_t outer = 4; // x:xmpmeta, rdf:RDF, rdf:Description, the leaf
    const Case cases[] = {
        {"ordinary", Packet("<t:a>1</t:a><t:b t:q=\"a>b\"/><!-- <t:c> --><t:d><![CDATA[<t:e>]]></t:d>"), true},
        {"deepest accepted", Nested(XMPPacketLimits::kMaxDepth - outer), true},
        {"one level too deep", Nested(XMPPacketLimits::kMaxDepth - outer + 1), false},
        {"40,000 levels", Nested(40000), false},
        {"most siblings accepted", Siblings(XMPPacketLimits::kMaxChildren), true},
        {"one sibling too many", Siblings(XMPPacketLimits::kMaxChildren + 1), false},
        {"200,000 siblings", Siblings(200000), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string why;
        EXPECT_EQ(XMPPacketLimits::Check(c.rdf, &why), c.accepted) << why;
        EXPECT_EQ(why.empty(), c.accepted);
        InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
        EXPECT_EQ(xmp->ParsePacket(c.rdf) == kTrue, c.accepted);
    }
    EXPECT_FALSE(XMPPacketLimits::Check(std::string(XMPPacketLimits::kMaxPacketBytes + 1, ' ')));
}

} // namespace
