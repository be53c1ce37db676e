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

struct Fault {
    const char* name;
    std::string text;
    SoapVersion version;
    const char* code;
    const char* reason;
    const char* detail;
    SoapFaultCode faultCode;
    std::vector<std::string> subcodes;
    const char* detailXml;
};

class SoapFaults : public testing::TestWithParam<Fault> {};

TEST_P(SoapFaults, CarryCodeReasonAndDetail)
{
    const XMLDocument document(GetParam().text);
    try {
        messageNode(document.root());
        FAIL() << "accepted";
    } catch (const SoapFault& fault) {
        EXPECT_EQ(fault.version(), GetParam().version);
        EXPECT_EQ(fault.code(), GetParam().code);
        EXPECT_EQ(fault.reason(), GetParam().reason);
        EXPECT_EQ(fault.detail(), GetParam().detail);
        EXPECT_EQ(fault.faultCode(), GetParam().faultCode);
        EXPECT_EQ(fault.subcodes(), GetParam().subcodes);
        EXPECT_EQ(fault.detailXml(), GetParam().detailXml);
        EXPECT_EQ(fault.line(), 3);
        EXPECT_EQ(fault.column(), 1);
        const std::string what = fault.what();
        for (const std::string& part : {std::string(GetParam().code), std::string(GetParam().reason),
                                        std::string("at line 3, column 1")}) {
            EXPECT_NE(what.find(part), std::string::npos) << what << " lacks " << part;
        }
        // Passed on in either version, it reads back as it came.
        for (const SoapVersion version : {SoapVersion::Soap11, SoapVersion::Soap12}) {
            const std::string written = writeSoapFault(fault, version);
            const XMLDocument again(written);
            try {
                messageNode(again.root());
                ADD_FAILURE() << "no fault in " << written;
            } catch (const SoapFault& copy) {
                EXPECT_EQ(copy.version(), version);
                EXPECT_EQ(copy.faultCode(), fault.faultCode()) << written;
                EXPECT_EQ(copy.subcodes(), fault.subcodes()) << written;
                EXPECT_EQ(copy.reason(), fault.reason()) << written;
                EXPECT_EQ(copy.detail(), fault.detail()) << written;
                EXPECT_EQ(copy.detailXml(), fault.detailXml().empty() ? fault.detail() : fault.detailXml()) << written;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Envelopes, SoapFaults,
    testing::Values(
        Fault{"Soap11",
              envelope(soap11, "",
                       "<e:Fault><faultcode>e:Server</faultcode>\n<faultstring>Save refused:\n  checked out</faultstring>"
                       "<detail><d:Lock xmlns:d=\"urn:d\"><d:By>jdoe</d:By><d:Since>08:00</d:Since></d:Lock></detail></e:Fault>"),
              SoapVersion::Soap11, "e:Server", "Save refused: checked out", "jdoe 08:00", SoapFaultCode::Receiver, {},
              "<Lock xmlns=\"urn:d\"><By>jdoe</By><Since>08:00</Since></Lock>"},
        Fault{"Soap11Bare", envelope(soap11, "", "<e:Fault/>"), SoapVersion::Soap11, "", "", "",
              SoapFaultCode::Receiver, {}, ""},
        Fault{"Soap11MixedDetailInDocumentOrder",
              envelope(soap11, "",
                       "<e:Fault><faultcode>e:Client</faultcode><faultstring>bad</faultstring>"
                       "<detail><x>a</x>b<y>c<z>d</z>e</y> f </detail></e:Fault>"),
              SoapVersion::Soap11, "e:Client", "bad", "a b c d e f", SoapFaultCode::Sender, {},
              "<x>a</x>b<y>c<z>d</z>e</y> f "},
        // SOAP 1.1's dotted codes: the more specific parts are subcodes.
        Fault{"Soap11Dotted",
              envelope(soap11, "",
                       "<e:Fault><faultcode>e:Client.Authentication.Expired</faultcode><faultstring>log in</faultstring>"
                       "<detail><code a:n=\"1\" xmlns:a=\"urn:a\">214003</code></detail></e:Fault>"),
              SoapVersion::Soap11, "e:Client.Authentication.Expired", "log in", "214003", SoapFaultCode::Sender,
              {"Authentication", "Expired"}, "<code xmlns:a1=\"urn:a\" a1:n=\"1\">214003</code>"},
        Fault{"Soap11OwnCode",
              envelope(soap11, "", "<e:Fault><faultcode>app:Locked</faultcode><faultstring>no</faultstring></e:Fault>"),
              SoapVersion::Soap11, "app:Locked", "no", "", SoapFaultCode::Receiver, {"Locked"}, ""},
        Fault{"Soap12",
              envelope(soap12, "",
                       "<e:Fault><e:Code><e:Value>e:Sender</e:Value><e:Subcode><e:Value>m:Locked</e:Value>"
                       "</e:Subcode></e:Code><e:Reason><e:Text xml:lang=\"de\">Gesperrt</e:Text>"
                       "<e:Text xml:lang=\"en-GB\">Locked</e:Text></e:Reason>"
                       "<e:Detail><d:By xmlns:d=\"urn:d\">jdoe</d:By></e:Detail></e:Fault>"),
              SoapVersion::Soap12, "e:Sender/m:Locked", "Locked", "jdoe", SoapFaultCode::Sender, {"Locked"},
              "<By xmlns=\"urn:d\">jdoe</By>"},
        Fault{"Soap12FirstReasonWithoutEnglish",
              envelope(soap12, "",
                       "<e:Fault><e:Code><e:Value>e:Receiver</e:Value></e:Code><e:Reason>"
                       "<e:Text xml:lang=\"de\">Gesperrt</e:Text><e:Text xml:lang=\"fr\">Verrouillé</e:Text>"
                       "</e:Reason></e:Fault>"),
              SoapVersion::Soap12, "e:Receiver", "Gesperrt", "", SoapFaultCode::Receiver, {}, ""},
        // Language tags are case-insensitive, and "eng" is not "en".
        Fault{"Soap12EnglishInAnyCase",
              envelope(soap12, "",
                       "<e:Fault><e:Code><e:Value>e:Receiver</e:Value></e:Code><e:Reason>"
                       "<e:Text xml:lang=\"de\">Gesperrt</e:Text><e:Text xml:lang=\"Eng\">Barred</e:Text>"
                       "<e:Text xml:lang=\"EN-us\">Locked</e:Text></e:Reason></e:Fault>"),
              SoapVersion::Soap12, "e:Receiver", "Locked", "", SoapFaultCode::Receiver, {}, ""},
        // node-soap's fault: the SOAP 1.2 parts inside a SOAP 1.1 Fault.
        Fault{"Soap11WithSoap12Parts",
              envelope(soap11, "",
                       "<e:Fault><e:Code><e:Value>SOAP-ENV:Server</e:Value></e:Code>"
                       "<e:Reason><e:Text>Error: database unreachable</e:Text></e:Reason></e:Fault>"),
              SoapVersion::Soap11, "SOAP-ENV:Server", "Error: database unreachable", "", SoapFaultCode::Receiver, {},
              ""},
        Fault{"Soap11WithUnqualifiedSoap12Parts",
              envelope(soap11, "",
                       "<e:Fault><Code><Value>Server</Value><Subcode><Value>app:Db</Value></Subcode></Code>"
                       "<Reason><Text xml:lang=\"de\">Keine Datenbank</Text><Text xml:lang=\"en\">No database</Text>"
                       "</Reason><Detail>db1</Detail></e:Fault>"),
              SoapVersion::Soap11, "Server/app:Db", "No database", "db1", SoapFaultCode::Receiver, {"Db"}, "db1"},
        Fault{"Soap11OwnPartsFirst",
              envelope(soap11, "",
                       "<e:Fault><e:Code><e:Value>Other</e:Value></e:Code><faultcode>e:Client</faultcode>"
                       "<e:Reason><e:Text>Other</e:Text></e:Reason><faultstring>Bad id</faultstring></e:Fault>"),
              SoapVersion::Soap11, "e:Client", "Bad id", "", SoapFaultCode::Sender, {}, ""},
        Fault{"Soap11TextOnly",
              envelope(soap11, "", "<e:Fault><error>Something\n  broke</error><at>db</at></e:Fault>"),
              SoapVersion::Soap11, "", "Something broke db", "", SoapFaultCode::Receiver, {}, ""},
        Fault{"Soap12WithSoap11Parts",
              envelope(soap12, "",
                       "<e:Fault><faultcode>e:Receiver</faultcode><faultstring>Out of disk</faultstring></e:Fault>"),
              SoapVersion::Soap12, "e:Receiver", "Out of disk", "", SoapFaultCode::Receiver, {}, ""},
        Fault{"Soap12OwnPartsFirst",
              envelope(soap12, "",
                       "<e:Fault><faultcode>Other</faultcode><faultstring>Other</faultstring>"
                       "<e:Code><e:Value>e:Sender</e:Value></e:Code><e:Reason><e:Text>Bad id</e:Text></e:Reason>"
                       "</e:Fault>"),
              SoapVersion::Soap12, "e:Sender", "Bad id", "", SoapFaultCode::Sender, {}, ""},
        Fault{"Soap12VersionMismatch",
              envelope(soap12, "",
                       "<e:Fault><e:Code><e:Value>e:VersionMismatch</e:Value></e:Code><e:Reason><e:Text>old</e:Text>"
                       "</e:Reason></e:Fault>"),
              SoapVersion::Soap12, "e:VersionMismatch", "old", "", SoapFaultCode::VersionMismatch, {}, ""}),
    [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

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
