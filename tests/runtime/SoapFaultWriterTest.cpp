// Faults written in either SOAP version: codes in each version's words, the
// header blocks SOAP 1.2 adds, HTTP statuses, and text XML cannot carry.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace {

using namespace Kavella::Soa::Common::Xml;

SoapFault readBack(const std::string& written)
{
    const XMLDocument document(written);
    try {
        messageNode(document.root());
    } catch (const SoapFault& fault) {
        return fault;
    }
    throw std::runtime_error("no fault in " + written);
}

// The Header's blocks as local names, in order.
std::vector<std::string> headerBlocks(const std::string& written)
{
    const XMLDocument document(written);
    std::vector<std::string> names;
    const XMLNode& root = document.root();
    if (root.children.size() < 2) return names;
    for (const XMLNode* block : root.children.front()->children) {
        names.push_back(block->name.str());
        for (const XMLNode* inner : block->children) names.push_back(block->name.str() + "/" + inner->name.str());
    }
    return names;
}

struct Written {
    const char* name;
    SoapFaultCode code;
    std::vector<std::string> subcodes;
    std::vector<std::string> notUnderstood;
    const char* code11; // as read back
    const char* code12;
    int status12;
    std::vector<std::string> header12;
};

class SoapFaultWriting : public testing::TestWithParam<Written> {};

TEST_P(SoapFaultWriting, SaysTheCodeInEachVersion)
{
    SoapFaultParts parts(GetParam().code, "it <failed> & \"stopped\"");
    parts.subcodes = GetParam().subcodes;
    parts.notUnderstood = GetParam().notUnderstood;
    const SoapFault fault(parts);
    for (const SoapVersion version : {SoapVersion::None, SoapVersion::Soap11, SoapVersion::Soap12}) {
        const std::string written = writeSoapFault(fault, version);
        const SoapFault copy = readBack(written);
        const bool soap12 = version == SoapVersion::Soap12;
        EXPECT_EQ(copy.version(), soap12 ? SoapVersion::Soap12 : SoapVersion::Soap11);
        EXPECT_EQ(copy.code(), soap12 ? GetParam().code12 : GetParam().code11);
        EXPECT_EQ(copy.reason(), "it <failed> & \"stopped\"");
        EXPECT_EQ(soapFaultHttpStatus(GetParam().code, version), soap12 ? GetParam().status12 : 500);
        EXPECT_EQ(headerBlocks(written), soap12 ? GetParam().header12 : std::vector<std::string>()) << written;
    }
}

const std::string supported = "Upgrade/SupportedEnvelope";

INSTANTIATE_TEST_SUITE_P(
    Codes, SoapFaultWriting,
    testing::Values(
        Written{"Sender", SoapFaultCode::Sender, {}, {}, "soapenv:Client", "env:Sender", 400, {}},
        Written{"SenderWithSubcodes", SoapFaultCode::Sender, {"Authentication", "{urn:app}Expired"}, {},
                "soapenv:Client.Authentication.Expired", "env:Sender/Authentication/sc:Expired", 400, {}},
        Written{"Receiver", SoapFaultCode::Receiver, {"{urn:app}Locked"}, {}, "soapenv:Server.Locked",
                "env:Receiver/sc:Locked", 500, {}},
        Written{"MustUnderstand", SoapFaultCode::MustUnderstand, {}, {"{urn:h}Session", "{}Trace"},
                "soapenv:MustUnderstand", "env:MustUnderstand", 500, {"NotUnderstood", "NotUnderstood"}},
        Written{"VersionMismatch", SoapFaultCode::VersionMismatch, {}, {}, "soapenv:VersionMismatch",
                "env:VersionMismatch", 500, {"Upgrade", supported, supported}},
        // SOAP 1.1 has no word of its own for it.
        Written{"DataEncodingUnknown", SoapFaultCode::DataEncodingUnknown, {}, {},
                "soapenv:Client.DataEncodingUnknown", "env:DataEncodingUnknown", 500, {}}),
    [](const testing::TestParamInfo<Written>& info) { return std::string(info.param.name); });

TEST(SoapFaultWriting, CarriesAnyText)
{
    // A reason that quotes a name cut mid-character, or a control character.
    SoapFaultParts parts(SoapFaultCode::Sender, "cut \xE2\x82 here \x01 and \xFF end");
    parts.detail = "line\nbreak \x7F";
    for (const SoapVersion version : {SoapVersion::Soap11, SoapVersion::Soap12}) {
        const SoapFault copy = readBack(writeSoapFault(SoapFault(parts), version));
        // One U+FFFD per byte that is not part of a character XML allows.
        EXPECT_EQ(copy.reason(), "cut \xEF\xBF\xBD\xEF\xBF\xBD here \xEF\xBF\xBD and \xEF\xBF\xBD end");
        EXPECT_EQ(copy.detail(), "line break \x7F");
    }
}

} // namespace
