// A SOAP envelope is judged as readXml reads it, with the rules and the very
// messages of messageNode: on every envelope, readXml and messageNode + parse
// say the same, down to the message, line and column of a refusal, whatever
// fails first (a fault after a failing message still wins).

#include <gtest/gtest.h>

#include <string>

#include "../../fuzz/FuzzTargets.hpp"
#include "RoundTripSupport.hpp"

namespace roundtrip {
namespace {

using fuzztargets::Outcome;
using fuzztargets::outcomeOf;

template <typename T>
void expectAsMessageNodeSays(const std::string& text)
{
    const Outcome read = outcomeOf([&] { return wi::writeXml(*wi::readXml<T>(text)); });
    const Outcome tree = outcomeOf([&] {
        const XMLDocument document(text);
        AutoPtr<T> object(new T);
        object->parse(::Kavella::Soa::Common::Xml::messageNode(document.root()));
        return wi::writeXml(*object);
    });
    EXPECT_EQ(read, tree) << typeid(T).name() << "\n  readXml:     " << read.describe()
                          << "\n  messageNode: " << tree.describe() << "\non: " << text;
}

TEST(EnvelopeRead, JudgedAsMessageNodeJudgesIt)
{
    const std::string ns = "xmlns:b=\"http://kavella.com/Schemas/Soa/2006-03/Base\" xmlns:x=\"urn:other\"";
    const std::string soap = "xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"";
    const std::string soap12 = "xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"";
    const std::string inputs[] = {
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
        // SOAP 1.2's roles and its own namespace for the same rules.
        "<e:Envelope " + soap12 + "><e:Header><h e:role=\"http://www.w3.org/2003/05/soap-envelope/role/ultimateReceiver\" "
        "e:mustUnderstand=\"true\"/></e:Header><e:Body><r><bad/></r></e:Body></e:Envelope>",
        "<e:Envelope " + soap12 + "><e:Header><h e:mustUnderstand=\"maybe\"/></e:Header><e:Body><r/><r/></e:Body></e:Envelope>",
        "<e:Envelope " + soap12 + ">text<x/><e:Body/></e:Envelope>",
        "<e:Envelope " + soap12 + "><e:Header/><e:Header/><e:Body><r><value>x</value></r></e:Body></e:Envelope>",
        "<e:Envelope " + soap12 + "><e:Body><r><intProps key=\"k\" value=\"1x\"/></r>tail</e:Body></e:Envelope>",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body><e:Body/></e:Body></e:Envelope>",
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
        // Runtime classes failing inside the message, then a fault or another error.
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
        // The messages' readXml judges the root's name too: the envelopes are judged through the others.
#define WI_EXPECT_AS_MESSAGE_NODE(Class) expectAsMessageNodeSays<wi::Class>(input);
        WI_EXPECT_AS_MESSAGE_NODE(CreateInput)
        WI_EXPECT_AS_MESSAGE_NODE(IntVectorMap)
        WI_EXPECT_AS_MESSAGE_NODE(ObjectsReferenced)
        WI_EXPECT_AS_MESSAGE_NODE(LoadedObjectInfo)
        WI_EXPECT_AS_MESSAGE_NODE(SavedObjectInfo)
#undef WI_EXPECT_AS_MESSAGE_NODE
    }
}

} // namespace
} // namespace roundtrip
