// The direct reader and the tree path (XMLDocument + parse) are two drivers of
// one engine: on every input they must say the same, whether they read it or
// refuse it, down to the message, line and column.

#include <gtest/gtest.h>

#include <functional>

#include "../../fuzz/FuzzTargets.hpp"
#include "RandomTree.hpp"
#include "RoundTripSupport.hpp"

namespace roundtrip {
namespace {

template <typename T>
class Differential : public ::testing::Test {};
TYPED_TEST_SUITE(Differential, AllClasses, ClassNames);

void expectAgreement(const std::function<void()>& compare, const std::string& input)
{
    try {
        compare();
    } catch (const fuzztargets::Failure& failure) {
        FAIL() << failure.what() << "\non: " << input;
    }
}

// Random trees, written compact and indented, then broken in the ways a
// network or an editor breaks them: cut short, a stray element, a bad value.
TYPED_TEST(Differential, AgreeOnRandomTreesAndTheirBrokenForms)
{
    const std::uint64_t first = firstSeed();
    for (std::uint64_t seed = first; seed < first + static_cast<std::uint64_t>(iterations(60)); ++seed) {
        SCOPED_TRACE(reproduce(seed));
        const AutoPtr<TypeParam> tree = RandomTree(seed).make<TypeParam>();
        for (const std::string& text : {writeAsRoot(*tree), writeAsRoot(*tree, 2)}) {
            std::vector<std::string> inputs{text, text.substr(0, text.size() / 2), text.substr(0, text.size() - 1)};
            const auto firstEnd = text.find('>');
            inputs.push_back(text.substr(0, firstEnd + 1) + "<ns1:stray/>" + text.substr(firstEnd + 1));
            const auto value = text.find("=\"");
            if (value != std::string::npos) inputs.push_back(text.substr(0, value + 2) + "x\x01y" + text.substr(value + 2));
            const auto number = text.find("value=\"");
            if (number != std::string::npos) inputs.push_back(text.substr(0, number + 7) + "NaNa" + text.substr(number + 7));
            for (const std::string& input : inputs) {
                expectAgreement([&] { fuzztargets::compareReaders<TypeParam>(input, {}); }, input);
            }
        }
    }
}

// Inputs aimed at each refusal: reader limits and faults, unexpected names at
// every depth, values that do not convert inside array elements, encodings.
TEST(DifferentialRefusals, AgreeOnEveryKindOfRefusal)
{
    const std::string ns = "xmlns:p=\"http://velmora.com/Schemas/MES/2010-09/WorkInstructions\"";
    const std::string inputs[] = {
        "",
        "<p:r " + ns + ">",
        "<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>",
        "<r><intProps key=\"k\" value=\"12x\"/></r>",
        "<r>\n  <intProps key=\"k\" value=\"1\"/>\n  <Intprops/></r>",
        "<r><intProps key=\"k\" value=\"1\"><anything/></intProps><compoundProps key=\"c\"><value><bad/></value></compoundProps></r>",
        "<r><value>1</value><value>x</value></r>",
        "<r><value>2001-02-30T00:00:00Z</value></r>",
        "<r><value>true<i>ignored</i></value><value> 1 </value></r>",
        "<r><targetObject uid=\"a\"><deep><deeper/></deep></targetObject><targetObject uid=\"b\"/></r>",
        "<r><ServiceData><created uid=\"1\"/><partialErrors code=\"x\"/></ServiceData></r>",
        "<r><ServiceData><unknown/></ServiceData></r>",
        "<r><a><b><c><d><e/></d></c></b></a></r>",
        "<r><savedObjects><modifiedDCDs><objectData><stray/></objectData></modifiedDCDs></savedObjects></r>",
        "<r>\xEF\xBB\xBF</r>",
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r/>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><value>\xE9</value></r>",
        std::string("\xFF\xFE<\0r\0/\0>\0", 10),
        "<r><intProps key=\"k\" value=\"1\"/></r><trailing/>",
        // Envelopes: a message inside, a fault after a message, a mandatory header, two messages, none.
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><r><intProps key=\"k\" value=\"1\"/></r></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><r><value>x</value></r><e:Fault><e:Code><e:Value>e:Sender</e:Value></e:Code></e:Fault></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Header><h e:mustUnderstand=\"1\"/></e:Header><e:Body><r><bad/></r></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><r/><r/></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body> </e:Body></e:Envelope>",
        "<Envelope xmlns=\"urn:elsewhere\"><Body><r/></Body></Envelope>",
        // Read as they arrive, envelopes keep the tree's order of refusals.
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><r><bad/><worse/></r><x/><e:Fault><faultstring>late</faultstring></e:Fault></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><r><value>x</value></r>text</e:Body><e:Header/></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><r/></e:Body>stray<e:Body/></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Header><h e:actor=\"urn:other\" e:mustUnderstand=\"1\"/><i e:mustUnderstand=\"maybe\"/></e:Header></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Header><h e:role=\"http://www.w3.org/2003/05/soap-envelope/role/none\" e:mustUnderstand=\"true\"/></e:Header><e:Body><r><intProps key=\"k\" value=\"2\"/></r></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><e:Fault><faultcode>c</faultcode></e:Fault><r/><e:Fault/></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><r><intProps key=\"k\" value=\"1x\"/></r><r2/></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><r><targetObject uid=\"a\"><x/></targetObject><ServiceData><partialErrors code=\"x\"/><odd/></ServiceData></r></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body/></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Header><h e:mustUnderstand=\"1\"/></e:Header></e:Envelope>",
        // Of a fault only its parts are kept; everything else counts for its text alone.
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><e:Fault>lead<x>a<y>b</y>c</x>"
        "<detail>d<q>e</q><q/>f</detail><detail>second</detail><e:faultcode>qualified</e:faultcode>"
        "<faultstring>why<i>not</i>now</faultstring><faultstring>later</faultstring>tail</e:Fault></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><e:Fault><e:Code><x>1</x><e:Value>e:Sender</e:Value>"
        "<e:Value>ignored</e:Value><e:Subcode><e:Value>a:One</e:Value><e:Subcode><Value>b:Two</Value></e:Subcode></e:Subcode>"
        "</e:Code><e:Reason><e:Text xml:lang=\"fr\">non<b>!</b></e:Text><Text xml:lang=\"de\">nein</Text>"
        "<e:Text xml:lang=\" EN \">yes <b>indeed</b></e:Text><e:Text xml:lang=\"en\">later</e:Text></e:Reason>"
        "<e:Detail>d1<k><l>deep</l></k></e:Detail><e:Detail>d2</e:Detail></e:Fault></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><e:Fault><w>only<v>words</v></w> here "
        "</e:Fault></e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><e:Fault><e:Code><e:Value>c</e:Value></e:Code>"
        "<e:Reason><e:Text>r</e:Text></e:Reason></e:Fault></e:Body></e:Envelope>",
    };
    for (const std::string& input : inputs) {
        expectAgreement([&] { fuzztargets::compareAllReaders(input); }, input);
    }
}

// The runtime's classes read from start tags on the direct path and from nodes
// on the tree path: every attribute, every kind of content inside them, their
// refusals in every order, and faults around them.
TEST(DifferentialRefusals, AgreeOnModelObjectsAndServiceData)
{
    const std::string ns = "xmlns:b=\"http://kavella.com/Schemas/Soa/2006-03/Base\" xmlns:x=\"urn:other\"";
    const std::string soap = "xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"";
    const std::string inputs[] = {
        // Model objects: every attribute, namespaced ones, content of every kind, arrays of them.
        "<r " + ns + "><targetObject uid=\"a\" x:uid=\"n\" b:uid=\"b\" other=\"o\">text<x:c uid=\"c\"><d/></x:c>tail</targetObject></r>",
        "<r " + ns + "><targetObject/><targetContext x:uid=\"only\"/><stxObjectData uid=\"&lt;&amp;&gt;\"/></r>",
        "<r " + ns + ">\n<symbols uid=\"1\"/>\n<symbols><symbols uid=\"nested\"/></symbols>\n<symbols uid=\"3\">t</symbols></r>",
        "<r key=\"k\" " + ns + "><value uid=\"1\"/><value uid=\"2\" junk=\"j\"><value/></value></r>",
        "<r " + ns + "><tagArrayProps key=\"k\"><value uid=\"1\"/><value/></tagArrayProps><tagProps key=\"t\"><value uid=\"v\"><x/></value></tagProps></r>",
        "<r " + ns + "><targetObject uid=\"a\"/><targetObject uid=\"b\"/>\n  <unknown/></r>",
        // Service data: every child with every attribute, and what is ignored in and around them.
        "<r " + ns + "><ServiceData uid=\"ignored\">text<b:created uid=\"c\" x:uid=\"n\" extra=\"e\"/><created><deep/></created>"
        "<x:updated uid=\"u\"/><deleted uid=\"d\">in</deleted><partialErrors uid=\"p\" code=\" 7 \" level=\"-2\" message=\"m &amp; n\"/>"
        "<partialErrors code=\"0\" level=\"0\"/></ServiceData><serviceData><created uid=\"second\"/></serviceData></r>",
        // Service data refusals: a name refused after a bad value wins; the first bad value wins over later ones;
        // a bad value is raised before an error after the element; a bad name deep inside is not looked at.
        "<r " + ns + ">\n<ServiceData>\n  <partialErrors code=\"x\" level=\"1\"/>\n  <unknown/>\n</ServiceData></r>",
        "<r " + ns + ">\n<ServiceData>\n  <partialErrors code=\"1\" level=\"y\"/>\n  <partialErrors code=\"z\" level=\"1\"/></ServiceData></r>",
        "<r " + ns + "><ServiceData><partialErrors level=\"1\"/></ServiceData>\n<bogus/></r>",
        "<r " + ns + "><ServiceData><created><unknown/></created><partialErrors code=\"1\" level=\"1\"><bad/></partialErrors></ServiceData></r>",
        "<r " + ns + "><ServiceData/><ServiceData><x:ServiceData/></ServiceData></r>",
        // Inside envelopes: a message failing in its service data, then a fault or another error; a fault first.
        "<e:Envelope " + soap + "><e:Body><r " + ns + "><ServiceData><partialErrors code=\"x\"/></ServiceData></r>"
        "<e:Fault><faultstring>f</faultstring></e:Fault></e:Body></e:Envelope>",
        "<e:Envelope " + soap + "><e:Body><r " + ns + "><ServiceData><partialErrors code=\"x\"/><created uid=\"1\"/></ServiceData>"
        "<targetObject uid=\"t\"/></r></e:Body>tail</e:Envelope>",
        "<e:Envelope " + soap + "><e:Body><r " + ns + "><ServiceData><partialErrors code=\"x\"/></ServiceData><bad/></r></e:Body></e:Envelope>",
        "<e:Envelope " + soap + "><e:Body><e:Fault><faultcode>c</faultcode><detail><ServiceData><created uid=\"1\"/></ServiceData></detail>"
        "</e:Fault><r " + ns + "><targetObject uid=\"t\"/></r></e:Body></e:Envelope>",
        "<e:Envelope " + soap + "><e:Body><r " + ns + "><targetObject uid=\"t\"><x/></targetObject><ServiceData><created uid=\"1\"/></ServiceData></r>"
        "</e:Body></e:Envelope>",
    };
    for (const std::string& input : inputs) {
        expectAgreement([&] { fuzztargets::compareAllReaders(input); }, input);
    }
}

} // namespace
} // namespace roundtrip
