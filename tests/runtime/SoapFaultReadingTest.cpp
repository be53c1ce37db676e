// A SOAP Fault read on every path (a whole tree, a document read as events
// from memory and from a stream): its code with the namespaces its prefixes
// stand for, its reason, and its detail as text, markup and nodes; and what
// it keeps of a detail too large to keep whole.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace {

using namespace Kavella::Soa::Common::Xml;
namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;

const std::string soap11 = Soap11NamespaceUri;
const std::string soap12 = Soap12NamespaceUri;

// The Fault starts at line 3, column 1; declarations go on the Envelope.
std::string envelope(const std::string& uri, const std::string& body, const std::string& declarations = "")
{
    return "<e:Envelope xmlns:e=\"" + uri + "\"" + declarations + ">\n<e:Body>\n" + body + "\n</e:Body>\n</e:Envelope>\n";
}

template <typename Read>
SoapFault faultOf(Read&& read)
{
    try {
        read();
    } catch (const SoapFault& fault) {
        return fault;
    }
    throw std::runtime_error("no fault raised");
}

struct Path {
    const char* name;
    std::function<SoapFault(const std::string&)> read;
};

const std::vector<Path>& everyPath()
{
    static const std::vector<Path> paths = {
        {"tree",
         [](const std::string& text) {
             return faultOf([&] {
                 const XMLDocument document(text);
                 messageNode(document.root());
             });
         }},
        {"memory", [](const std::string& text) { return faultOf([&] { wi::readXml<wi::SavedObjectsResponse>(text); }); }},
        {"stream",
         [](const std::string& text) {
             return faultOf([&] {
                 std::istringstream stream(text);
                 wi::readXml<wi::SavedObjectsResponse>(stream);
             });
         }},
    };
    return paths;
}

std::vector<std::string> entryNames(const SoapFault& fault)
{
    std::vector<std::string> names;
    for (const XMLNode& entry : fault.detailEntries()) {
        names.push_back(entry.uri.empty() ? entry.name.str() : "{" + std::string(entry.uri) + "}" + entry.name);
    }
    return names;
}

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
    std::vector<std::string> entries; // "{uri}local" of each detail element
};

class SoapFaults : public testing::TestWithParam<Fault> {};

TEST_P(SoapFaults, CarryTheirStructureOnEveryPath)
{
    for (const Path& path : everyPath()) {
        SCOPED_TRACE(path.name);
        const SoapFault fault = path.read(GetParam().text);
        EXPECT_EQ(fault.version(), GetParam().version);
        EXPECT_EQ(fault.code(), GetParam().code);
        EXPECT_EQ(fault.reason(), GetParam().reason);
        EXPECT_EQ(fault.detail(), GetParam().detail);
        EXPECT_EQ(fault.faultCode(), GetParam().faultCode);
        EXPECT_EQ(fault.subcodes(), GetParam().subcodes);
        EXPECT_EQ(fault.detailXml(), GetParam().detailXml);
        EXPECT_EQ(entryNames(fault), GetParam().entries);
        EXPECT_EQ(fault.line(), 3);
        EXPECT_EQ(fault.column(), 1);
        const std::string what = fault.what();
        for (const std::string& part : {std::string(GetParam().code), std::string(GetParam().reason),
                                        std::string("at line 3, column 1")}) {
            EXPECT_NE(what.find(part), std::string::npos) << what << " lacks " << part;
        }
    }
}

// Passed on in either version, a fault reads back as it came, and written
// again gives the same document. SOAP 1.1 carries the local names of the
// subcodes after its own codes only.
TEST_P(SoapFaults, ReadAndWrittenAgainGiveTheSameMarkup)
{
    const SoapFault fault = everyPath().front().read(GetParam().text);
    for (const SoapVersion version : {SoapVersion::Soap11, SoapVersion::Soap12}) {
        const std::string written = writeSoapFault(fault, version);
        for (const Path& path : everyPath()) {
            SCOPED_TRACE(std::string(path.name) + " " + written);
            const SoapFault copy = path.read(written);
            EXPECT_EQ(copy.version(), version);
            EXPECT_EQ(copy.faultCode(), fault.faultCode());
            if (version == SoapVersion::Soap12) {
                EXPECT_EQ(copy.subcodes(), fault.subcodes());
            }
            EXPECT_EQ(copy.subcodeLocalNames(), fault.subcodeLocalNames());
            EXPECT_EQ(copy.reason(), fault.reason());
            EXPECT_EQ(copy.detail(), fault.detail());
            EXPECT_EQ(copy.detailXml(), fault.detailXml());
            EXPECT_EQ(entryNames(copy), entryNames(fault));
            EXPECT_EQ(writeSoapFault(copy, version), written);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Envelopes, SoapFaults,
    testing::Values(
        Fault{"Soap11",
              envelope(soap11, "<e:Fault><faultcode>e:Server</faultcode>\n<faultstring>Save refused:\n  checked out"
                               "</faultstring><detail><d:Lock xmlns:d=\"urn:d\"><d:By>jdoe</d:By><d:Since>08:00</d:Since>"
                               "</d:Lock></detail></e:Fault>"),
              SoapVersion::Soap11, "e:Server", "Save refused: checked out", "jdoe 08:00", SoapFaultCode::Receiver, {},
              "<d:Lock xmlns:d=\"urn:d\"><d:By>jdoe</d:By><d:Since>08:00</d:Since></d:Lock>", {"{urn:d}Lock"}},
        Fault{"Soap11Bare", envelope(soap11, "<e:Fault/>"), SoapVersion::Soap11, "", "", "", SoapFaultCode::Receiver,
              {}, "", {}},
        Fault{"Soap11MixedDetailInDocumentOrder",
              envelope(soap11, "<e:Fault><faultcode>e:Client</faultcode><faultstring>bad</faultstring>"
                               "<detail><x>a</x>b<y>c<z>d</z>e</y> f </detail></e:Fault>"),
              SoapVersion::Soap11, "e:Client", "bad", "a b c d e f", SoapFaultCode::Sender, {},
              "<x>a</x>b<y>c<z>d</z>e</y> f ", {"x", "y"}},
        // SOAP 1.1's dotted codes: the more specific parts are subcodes.
        Fault{"Soap11Dotted",
              envelope(soap11, "<e:Fault><faultcode>e:Client.Authentication.Expired</faultcode><faultstring>log in"
                               "</faultstring><detail><code a:n=\"1\" xmlns:a=\"urn:a\">214003</code></detail></e:Fault>"),
              SoapVersion::Soap11, "e:Client.Authentication.Expired", "log in", "214003", SoapFaultCode::Sender,
              {"Authentication", "Expired"}, "<code xmlns:a=\"urn:a\" a:n=\"1\">214003</code>", {"code"}},
        // A prefix declared nowhere stands for no namespace.
        Fault{"Soap11OwnCode",
              envelope(soap11, "<e:Fault><faultcode>app:Locked</faultcode><faultstring>no</faultstring></e:Fault>"),
              SoapVersion::Soap11, "app:Locked", "no", "", SoapFaultCode::Receiver, {"Locked"}, "", {}},
        Fault{"Soap11OwnCodeDeclaredOnTheEnvelope",
              envelope(soap11, "<e:Fault><faultcode>app:Locked.Table</faultcode><faultstring>no</faultstring></e:Fault>",
                       " xmlns:app=\"urn:app\""),
              SoapVersion::Soap11, "app:Locked.Table", "no", "", SoapFaultCode::Receiver, {"{urn:app}Locked", "Table"},
              "", {}},
        // SOAP's words count in the envelope's namespace (or none), not in another.
        Fault{"Soap11ClientOfAnotherNamespace",
              envelope(soap11, "<e:Fault><faultcode xmlns:app=\"urn:app\">app:Client</faultcode></e:Fault>"),
              SoapVersion::Soap11, "app:Client", "", "", SoapFaultCode::Receiver, {"{urn:app}Client"}, "", {}},
        Fault{"Soap12",
              envelope(soap12, "<e:Fault><e:Code><e:Value>e:Sender</e:Value><e:Subcode><e:Value>m:Locked</e:Value>"
                               "</e:Subcode></e:Code><e:Reason><e:Text xml:lang=\"de\">Gesperrt</e:Text>"
                               "<e:Text xml:lang=\"en-GB\">Locked</e:Text></e:Reason>"
                               "<e:Detail><d:By xmlns:d=\"urn:d\">jdoe</d:By></e:Detail></e:Fault>"),
              SoapVersion::Soap12, "e:Sender/m:Locked", "Locked", "jdoe", SoapFaultCode::Sender, {"Locked"},
              "<d:By xmlns:d=\"urn:d\">jdoe</d:By>", {"{urn:d}By"}},
        // Each Value resolved where it stands: on itself, the Envelope, a Subcode's default.
        Fault{"Soap12NestedSubcodes",
              envelope(soap12, "<e:Fault><e:Code><e:Value>e:Sender</e:Value><e:Subcode><e:Value xmlns:m=\"urn:m\">"
                               "m:Locked</e:Value><e:Subcode xmlns=\"urn:default\"><e:Value>x:Row</e:Value><e:Subcode>"
                               "<e:Value> Deep </e:Value></e:Subcode></e:Subcode></e:Subcode></e:Code><e:Reason>"
                               "<e:Text>Locked</e:Text></e:Reason></e:Fault>",
                       " xmlns:x=\"urn:x\""),
              SoapVersion::Soap12, "e:Sender/m:Locked/x:Row/Deep", "Locked", "", SoapFaultCode::Sender,
              {"{urn:m}Locked", "{urn:x}Row", "{urn:default}Deep"}, "", {}},
        Fault{"Soap12FirstReasonWithoutEnglish",
              envelope(soap12, "<e:Fault><e:Code><e:Value>e:Receiver</e:Value></e:Code><e:Reason>"
                               "<e:Text xml:lang=\"de\">Gesperrt</e:Text><e:Text xml:lang=\"fr\">Verrouillé</e:Text>"
                               "</e:Reason></e:Fault>"),
              SoapVersion::Soap12, "e:Receiver", "Gesperrt", "", SoapFaultCode::Receiver, {}, "", {}},
        // Language tags are case-insensitive, and "eng" is not "en".
        Fault{"Soap12EnglishInAnyCase",
              envelope(soap12, "<e:Fault><e:Code><e:Value>e:Receiver</e:Value></e:Code><e:Reason>"
                               "<e:Text xml:lang=\"de\">Gesperrt</e:Text><e:Text xml:lang=\"Eng\">Barred</e:Text>"
                               "<e:Text xml:lang=\"EN-us\">Locked</e:Text></e:Reason></e:Fault>"),
              SoapVersion::Soap12, "e:Receiver", "Locked", "", SoapFaultCode::Receiver, {}, "", {}},
        // node-soap's fault: the SOAP 1.2 parts inside a SOAP 1.1 Fault, with an element detail.
        Fault{"Soap11WithSoap12Parts",
              envelope(soap11, "<e:Fault><e:Code><e:Value>e:Receiver</e:Value><e:Subcode><e:Value>rpc:Locked"
                               "</e:Value></e:Subcode></e:Code><e:Reason><e:Text>checked out</e:Text></e:Reason>"
                               "<e:Detail><st:lock xmlns:st=\"urn:store\">jdoe since 08:00</st:lock></e:Detail></e:Fault>",
                       " xmlns:rpc=\"urn:rpc\""),
              SoapVersion::Soap11, "e:Receiver/rpc:Locked", "checked out", "jdoe since 08:00",
              SoapFaultCode::Receiver, {"{urn:rpc}Locked"}, "<st:lock xmlns:st=\"urn:store\">jdoe since 08:00</st:lock>",
              {"{urn:store}lock"}},
        Fault{"Soap11WithUnqualifiedSoap12Parts",
              envelope(soap11, "<e:Fault><Code><Value>Server</Value><Subcode><Value>app:Db</Value></Subcode></Code>"
                               "<Reason><Text xml:lang=\"de\">Keine Datenbank</Text><Text xml:lang=\"en\">No database"
                               "</Text></Reason><Detail>db1</Detail></e:Fault>"),
              SoapVersion::Soap11, "Server/app:Db", "No database", "db1", SoapFaultCode::Receiver, {"Db"}, "db1", {}},
        Fault{"Soap11OwnPartsFirst",
              envelope(soap11, "<e:Fault><e:Code><e:Value>Other</e:Value></e:Code><faultcode>e:Client</faultcode>"
                               "<e:Reason><e:Text>Other</e:Text></e:Reason><faultstring>Bad id</faultstring></e:Fault>"),
              SoapVersion::Soap11, "e:Client", "Bad id", "", SoapFaultCode::Sender, {}, "", {}},
        Fault{"Soap11TextOnly", envelope(soap11, "<e:Fault><error>Something\n  broke</error><at>db</at></e:Fault>"),
              SoapVersion::Soap11, "", "Something broke db", "", SoapFaultCode::Receiver, {}, "", {}},
        Fault{"Soap12WithSoap11Parts",
              envelope(soap12, "<e:Fault><faultcode>e:Receiver</faultcode><faultstring>Out of disk</faultstring>"
                               "</e:Fault>"),
              SoapVersion::Soap12, "e:Receiver", "Out of disk", "", SoapFaultCode::Receiver, {}, "", {}},
        Fault{"Soap12OwnPartsFirst",
              envelope(soap12, "<e:Fault><faultcode>Other</faultcode><faultstring>Other</faultstring>"
                               "<e:Code><e:Value>e:Sender</e:Value></e:Code><e:Reason><e:Text>Bad id</e:Text>"
                               "</e:Reason></e:Fault>"),
              SoapVersion::Soap12, "e:Sender", "Bad id", "", SoapFaultCode::Sender, {}, "", {}},
        Fault{"Soap12VersionMismatch",
              envelope(soap12, "<e:Fault><e:Code><e:Value>e:VersionMismatch</e:Value></e:Code><e:Reason><e:Text>old"
                               "</e:Text></e:Reason></e:Fault>"),
              SoapVersion::Soap12, "e:VersionMismatch", "old", "", SoapFaultCode::VersionMismatch, {}, "", {}},
        // Declarations made further out are added where a name needs them;
        // an attribute whose prefix is not kept borrows one in scope or gets its own.
        Fault{"DetailWithAttributesAndNamespaces",
              envelope(soap12, "<e:Fault><e:Code><e:Value>e:Receiver</e:Value></e:Code><e:Reason><e:Text>r</e:Text>"
                               "</e:Reason><e:Detail xmlns:x=\"urn:x\"><x:lock x:by=\"jdoe\" xml:lang=\"en\" "
                               "plain=\"1 &amp; &lt;2&gt;\" xmlns:y=\"urn:y\" y:since=\"8\" e:role=\"r\"><inner "
                               "xmlns=\"urn:i\">t<x:b/>u<none xmlns=\"\"/></inner></x:lock>tail</e:Detail></e:Fault>"),
              SoapVersion::Soap12, "e:Receiver", "r", "t u tail", SoapFaultCode::Receiver, {},
              "<x:lock xmlns:y=\"urn:y\" xmlns:x=\"urn:x\" xmlns:a1=\"http://www.w3.org/2003/05/soap-envelope\" "
              "x:by=\"jdoe\" xml:lang=\"en\" plain=\"1 &amp; &lt;2&gt;\" y:since=\"8\" a1:role=\"r\"><inner "
              "xmlns=\"urn:i\">t<x:b/>u<none xmlns=\"\"/></inner></x:lock>tail",
              {"{urn:x}lock"}}),
    [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// What the bound counts: elements, attributes and namespace declarations.
std::size_t nodesIn(const XMLNode& node)
{
    std::size_t count = 1 + node.attributes().size() + node.namespaces().size();
    for (const XMLNode* child : node.children) count += nodesIn(*child);
    return count;
}

// A detail far larger than the bound: a whole tree keeps all of it; a
// streamed read keeps entries whole up to the bound, then only their text.
TEST(SoapFaultDetail, IsKeptWholeUpToABoundWhenStreamed)
{
    const std::size_t entries = 3 * SoapFaultPruner::detailBound;
    std::string detail;
    for (std::size_t i = 0; i < entries; ++i) detail += "<d:n xmlns:d=\"urn:d\" i=\"" + std::to_string(i) + "\">w</d:n>";
    const std::string text = envelope(soap11, "<e:Fault><faultcode>e:Server</faultcode><faultstring>big</faultstring>"
                                              "<detail>" + detail + "</detail></e:Fault>");
    for (const Path& path : everyPath()) {
        SCOPED_TRACE(path.name);
        const SoapFault fault = path.read(text);
        std::size_t kept = 0;
        for (const XMLNode& entry : fault.detailEntries()) kept += nodesIn(entry);
        if (std::string(path.name) == "tree") {
            EXPECT_EQ(kept, 3 * entries);
            EXPECT_EQ(fault.detailXml(), detail);
        } else {
            EXPECT_LE(kept, SoapFaultPruner::detailBound);
            EXPECT_GE(kept, SoapFaultPruner::detailBound - 2);
            EXPECT_EQ(fault.detailEntries().front().getAttr("i"), "0");
        }
        // The text of every entry is there, kept or not.
        std::string words;
        for (std::size_t i = 0; i < entries; ++i) words += i ? " w" : "w";
        EXPECT_EQ(fault.detail(), words);
    }
}

// A detail entry is a node of its own: found by name, read like any element.
TEST(SoapFaultDetail, EntriesAreFoundByName)
{
    const std::string text = envelope(soap12, "<e:Fault><e:Code><e:Value>e:Sender</e:Value></e:Code><e:Reason><e:Text>"
                                              "no</e:Text></e:Reason><e:Detail><s:uid>X1</s:uid><s:hint at=\"2\">reload"
                                              "</s:hint></e:Detail></e:Fault>",
                                      " xmlns:s=\"urn:store-a\"");
    for (const Path& path : everyPath()) {
        SCOPED_TRACE(path.name);
        const SoapFault fault = path.read(text);
        const XMLNode* hint = fault.detailEntry("urn:store-a", "hint");
        ASSERT_NE(hint, nullptr);
        EXPECT_EQ(hint->text, "reload");
        EXPECT_EQ(hint->prefix, "s");
        EXPECT_EQ(hint->getAttr("at"), "2");
        EXPECT_EQ(fault.detailEntry("", "hint"), nullptr);
        EXPECT_EQ(fault.detailXml(), "<s:uid xmlns:s=\"urn:store-a\">X1</s:uid><s:hint xmlns:s=\"urn:store-a\" at=\"2\">"
                                     "reload</s:hint>");
    }
}

} // namespace
