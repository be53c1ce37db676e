// Finding the message inside a SOAP envelope: both versions, faults, headers
// and the malformed envelopes a receiver has to refuse.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace {

using namespace Kavella::Soa::Common::Xml;

const std::string soap11 = Soap11NamespaceUri;
const std::string soap12 = Soap12NamespaceUri;

// An envelope of the given namespace around header and body content, each on
// lines of their own so that positions are predictable.
std::string envelope(const std::string& uri, const std::string& header, const std::string& body)
{
    std::string text = "<e:Envelope xmlns:e=\"" + uri + "\">\n";
    if (!header.empty()) text += "<e:Header>\n" + header + "\n</e:Header>\n";
    return text + "<e:Body>\n" + body + "\n</e:Body>\n</e:Envelope>\n";
}

const std::string message = "<m:Ping xmlns:m=\"urn:m\" n=\"1\"/>";

struct Accepted {
    const char* name;
    std::string text;
    const char* messageName; // local name of the node messageNode returns
};

class SoapAccepts : public testing::TestWithParam<Accepted> {};

TEST_P(SoapAccepts, FindsTheMessage)
{
    const XMLDocument document(GetParam().text);
    const XMLNode& found = messageNode(document.root());
    EXPECT_EQ(found.name, GetParam().messageName);
    EXPECT_EQ(found.uri, "urn:m");
}

INSTANTIATE_TEST_SUITE_P(
    Envelopes, SoapAccepts,
    testing::Values(
        Accepted{"Standalone", message, "Ping"},
        Accepted{"Soap11", envelope(soap11, "", message), "Ping"},
        Accepted{"Soap12", envelope(soap12, "", message), "Ping"},
        Accepted{"OptionalHeaderSkipped",
                 envelope(soap11, "<h:Trace xmlns:h=\"urn:h\" e:mustUnderstand=\"0\"/><h:Id xmlns:h=\"urn:h\"/>",
                          message),
                 "Ping"},
        Accepted{"MustUnderstandFalse12", envelope(soap12, "<h:Trace xmlns:h=\"urn:h\" e:mustUnderstand=\"false\"/>",
                                                   message),
                 "Ping"},
        // Only the envelope's own attribute counts; an unqualified one is the block's business.
        Accepted{"UnqualifiedMustUnderstand",
                 envelope(soap11, "<h:Trace xmlns:h=\"urn:h\" mustUnderstand=\"1\"/>", message), "Ping"},
        // A SOAP 1.1 attribute means nothing in a SOAP 1.2 envelope.
        Accepted{"OtherVersionsMustUnderstand",
                 envelope(soap12,
                          "<h:Trace xmlns:h=\"urn:h\" xmlns:o=\"" + soap11 + "\" o:mustUnderstand=\"1\"/>",
                          message),
                 "Ping"},
        Accepted{"MessageNamedLikeSoapParts", envelope(soap11, "", "<m:Body xmlns:m=\"urn:m\"/>"), "Body"}),
    [](const testing::TestParamInfo<Accepted>& info) { return std::string(info.param.name); });

struct Refused {
    const char* name;
    std::string text;
    int line; // where the error is located
    int column;
    std::string saying; // part of the message
};

class SoapRefuses : public testing::TestWithParam<Refused> {};

TEST_P(SoapRefuses, WithPlaceAndReason)
{
    const XMLDocument document(GetParam().text);
    try {
        messageNode(document.root());
        FAIL() << "accepted";
    } catch (const SoapFault& fault) {
        FAIL() << "a fault, not a malformed envelope: " << fault.what();
    } catch (const DomException& error) {
        EXPECT_EQ(error.line(), GetParam().line) << error.what();
        EXPECT_EQ(error.column(), GetParam().column) << error.what();
        EXPECT_NE(error.getMessage().find(GetParam().saying), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Envelopes, SoapRefuses,
    testing::Values(
        Refused{"MandatoryHeader11",
                envelope(soap11, "<h:Auth xmlns:h=\"urn:h\" e:mustUnderstand=\"1\"/>", message), 3, 1,
                "{urn:h}Auth> must be understood"},
        Refused{"MandatoryHeader12",
                envelope(soap12, "<h:Id xmlns:h=\"urn:h\"/><h:Auth xmlns:h=\"urn:h\" e:mustUnderstand=\" true \"/>",
                         message),
                3, 24, "{urn:h}Auth> must be understood"},
        Refused{"MustUnderstandNotBoolean",
                envelope(soap11, "<h:Auth xmlns:h=\"urn:h\" e:mustUnderstand=\"yes\"/>", message), 3, 1,
                "mustUnderstand=\"yes\""},
        Refused{"EmptyBody", envelope(soap11, "", "  "), 2, 1, "holds no message"},
        Refused{"TwoElements", envelope(soap12, "", message + "\n  <m:Pong xmlns:m=\"urn:m\"/>"), 4, 3,
                "second element <{urn:m}Pong>"},
        Refused{"TextBesideMessage", envelope(soap11, "", message + " stray"), 2, 1, "Body holds text"},
        Refused{"TextInEnvelope", "<e:Envelope xmlns:e=\"" + soap11 + "\">x<e:Body>" + message + "</e:Body></e:Envelope>",
                1, 1, "Envelope holds text"},
        Refused{"NoBody", "<e:Envelope xmlns:e=\"" + soap11 + "\">\n  <e:Header/>\n</e:Envelope>", 1, 1,
                "has no Body"},
        Refused{"TwoBodies",
                "<e:Envelope xmlns:e=\"" + soap11 + "\"><e:Body>" + message + "</e:Body>\n<e:Body/></e:Envelope>",
                2, 1, "Unexpected element <{" + soap11 + "}Body>"},
        Refused{"HeaderAfterBody",
                "<e:Envelope xmlns:e=\"" + soap11 + "\"><e:Body>" + message + "</e:Body>\n<e:Header/></e:Envelope>",
                2, 1, "Unexpected element"},
        Refused{"BodyOfTheOtherVersion",
                "<e:Envelope xmlns:e=\"" + soap11 + "\" xmlns:f=\"" + soap12 + "\">\n<f:Body>" + message +
                    "</f:Body></e:Envelope>",
                2, 1, "Unexpected element <{" + soap12 + "}Body>"},
        Refused{"WrongNamespace", envelope("http://schemas.xmlsoap.org/soap/envelope", "", message), 1, 1,
                "the namespace http://schemas.xmlsoap.org/soap/envelope, so it is no SOAP envelope"},
        Refused{"NoNamespace", "<Envelope><Body>" + message + "</Body></Envelope>", 1, 1,
                "no namespace, so it is no SOAP envelope"}),
    [](const testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

// Whom a header block is for, against each mustUnderstand value: only a block
// for this receiver may be refused, and only such a block's value is judged.
struct Target {
    const char* name;
    std::string uri;        // of the envelope
    std::string attributes; // on the block, besides mustUnderstand
    bool ours;
};

struct Marking {
    const char* name;
    const char* mustUnderstand; // nullptr: no attribute
    const char* refusal;        // part of the message when the block is ours; nullptr: accepted
};

class SoapHeaderBlocks : public testing::TestWithParam<std::tuple<Target, Marking>> {};

TEST_P(SoapHeaderBlocks, AreJudgedOnlyWhenOurs)
{
    const auto& [target, marking] = GetParam();
    std::string block = "<h:Auth xmlns:h=\"urn:h\" " + target.attributes;
    if (marking.mustUnderstand) block += std::string(" e:mustUnderstand=\"") + marking.mustUnderstand + "\"";
    const XMLDocument document(envelope(target.uri, block + "/>", message));
    if (!target.ours || !marking.refusal) {
        EXPECT_EQ(messageNode(document.root()).name, "Ping");
        return;
    }
    try {
        messageNode(document.root());
        FAIL() << "accepted";
    } catch (const DomException& error) {
        const std::string what = error.what();
        EXPECT_NE(what.find("<{urn:h}Auth>"), std::string::npos) << what;
        EXPECT_NE(what.find(marking.refusal), std::string::npos) << what;
        EXPECT_EQ(error.line(), 3);
        EXPECT_EQ(error.column(), 1);
    }
}

const std::string actorNext = "http://schemas.xmlsoap.org/soap/actor/next";
const std::string roleUri = soap12 + "/role/";

INSTANTIATE_TEST_SUITE_P(
    Envelopes, SoapHeaderBlocks,
    testing::Combine(
        testing::Values(
            Target{"NoActor11", soap11, "", true},
            Target{"ActorNext11", soap11, "e:actor=\"" + actorNext + "\"", true},
            Target{"ActorNextSpaced11", soap11, "e:actor=\" " + actorNext + "\n\"", true},
            Target{"ActorOther11", soap11, "e:actor=\"urn:gateway\"", false},
            Target{"ActorRoleNext11", soap11, "e:actor=\"" + roleUri + "next\"", false},
            // Neither an unqualified actor nor a SOAP 1.2 role addresses a SOAP 1.1 block.
            Target{"UnqualifiedActor11", soap11, "actor=\"urn:gateway\"", true},
            Target{"Role11", soap11, "e:role=\"urn:gateway\"", true},
            Target{"NoRole12", soap12, "", true},
            Target{"RoleNext12", soap12, "e:role=\"" + roleUri + "next\"", true},
            Target{"RoleUltimateReceiver12", soap12, "e:role=\"" + roleUri + "ultimateReceiver\"", true},
            Target{"RoleNone12", soap12, "e:role=\"" + roleUri + "none\"", false},
            Target{"RoleOther12", soap12, "e:role=\"urn:gateway\"", false},
            Target{"RoleActorNext12", soap12, "e:role=\"" + actorNext + "\"", false},
            Target{"Actor12", soap12, "e:actor=\"urn:gateway\"", true}),
        testing::Values(Marking{"Absent", nullptr, nullptr}, Marking{"Zero", "0", nullptr},
                        Marking{"False", "false", nullptr}, Marking{"One", " 1 ", "must be understood"},
                        Marking{"True", "true", "must be understood"},
                        Marking{"Yes", "yes", "mustUnderstand=\"yes\""},
                        Marking{"Empty", "", "mustUnderstand=\"\""})),
    [](const testing::TestParamInfo<std::tuple<Target, Marking>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

// The streaming reader builds small trees for a Header or a Fault by hand.
TEST(SoapPieces, WorkOnTreesBuiltByHand)
{
    XMLNode block;
    block.name = "Auth";
    block.uri = "urn:h";
    block.line = 7;
    block.column = 3;
    block.setAttr("{" + soap12 + "}mustUnderstand", "1");
    XMLNode header;
    header.name = "Header";
    header.uri = Soap12NamespaceUri;
    header.children.push_back(&block);
    try {
        checkSoapHeader(header);
        FAIL() << "mandatory header accepted";
    } catch (const DomException& error) {
        EXPECT_EQ(error.line(), 7);
        EXPECT_EQ(error.column(), 3);
    }
    block.setAttr("{" + soap12 + "}mustUnderstand", "false");
    EXPECT_NO_THROW(checkSoapHeader(header));

    XMLNode code;
    code.name = "faultcode";
    code.text = " Client ";
    XMLNode fault;
    fault.name = "Fault";
    fault.uri = Soap11NamespaceUri;
    fault.children.push_back(&code);
    try {
        throwSoapFault(fault);
    } catch (const SoapFault& error) {
        EXPECT_EQ(error.code(), "Client");
        EXPECT_EQ(error.reason(), "");
        EXPECT_EQ(error.line(), 0);
        EXPECT_EQ(std::string(error.what()).find("at line"), std::string::npos) << error.what();
    }
    // A code's prefix declared by hand is resolved as a read one is.
    code.text = "app:Locked";
    fault.declareNamespace("app", "urn:app");
    try {
        throwSoapFault(fault);
    } catch (const SoapFault& error) {
        EXPECT_EQ(error.faultCode(), SoapFaultCode::Receiver);
        EXPECT_EQ(error.subcodes(), std::vector<std::string>{"{urn:app}Locked"});
    }
}

TEST(SoapPieces, VersionsAndNamespaces)
{
    EXPECT_EQ(soapVersionOf(Soap11NamespaceUri), SoapVersion::Soap11);
    EXPECT_EQ(soapVersionOf(Soap12NamespaceUri), SoapVersion::Soap12);
    EXPECT_EQ(soapVersionOf("http://www.w3.org/2003/05/soap-envelope/"), SoapVersion::None);
    EXPECT_EQ(soapVersionOf(""), SoapVersion::None);
    EXPECT_STREQ(soapNamespaceUri(SoapVersion::Soap11), Soap11NamespaceUri);
    EXPECT_STREQ(soapNamespaceUri(SoapVersion::Soap12), Soap12NamespaceUri);
    EXPECT_STREQ(soapNamespaceUri(SoapVersion::None), "");
}

} // namespace
