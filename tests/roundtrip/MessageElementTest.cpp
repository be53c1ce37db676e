// A message is read only from its own element: another message, or the right
// name in another namespace, is refused before anything is filled.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "RoundTripSupport.hpp"
#include "kvsoa/Soap.hpp"

namespace roundtrip {
namespace {

using ::Kavella::Soa::Common::Xml::DomException;

const std::string wiUri = wi::NamespaceUri;
const std::string soap11 = "http://schemas.xmlsoap.org/soap/envelope/";

std::string enveloped(const std::string& body, const std::string& header = "<e:Header/>")
{
    return "<e:Envelope xmlns:e=\"" + soap11 + "\">" + header + "<e:Body>\n" + body + "</e:Body></e:Envelope>";
}

struct Case {
    const char* what;
    std::string text;
    std::string refusal; // empty: read as a SavedObjectsResponse
    int line;
    int column;
};

std::string savedReply()
{
    wi::SavedObjectsResponse reply;
    return wi::writeXml(reply);
}

std::string loadedReply()
{
    wi::LoadedObjectsResponse reply;
    return wi::writeXml(reply);
}

std::string saveRequest()
{
    wi::SaveWorkInstructionDocInput request;
    request.addSavedObject(AutoPtr<wi::SavedObjectInfo>(new wi::SavedObjectInfo));
    return wi::writeXml(request);
}

const Case cases[] = {
    {"its own element", savedReply(), "", 0, 0},
    {"its own element in an envelope", enveloped(savedReply()), "", 0, 0},
    {"its own element behind a declaration, a comment and an instruction",
     "<?xml version=\"1.0\"?><!-- <LoadedObjectsResponse/> --><?pi <x:y/>?>\n" + savedReply(), "", 0, 0},
    {"its own element under a prefix the envelope declares",
     "<e:Envelope xmlns:e=\"" + soap11 + "\" xmlns:w='" + wiUri + "'><e:Body><w:SavedObjectsResponse><ServiceData/>"
     "</w:SavedObjectsResponse></e:Body></e:Envelope>", "", 0, 0},
    {"another reply behind a comment naming this one",
     "<!-- <SavedObjectsResponse xmlns=\"" + wiUri + "\"/> -->" + loadedReply(), "<LoadedObjectsResponse>", 1, 97},
    {"another reply", loadedReply(),
     "The root element <LoadedObjectsResponse> in " + wiUri + " is not a SavedObjectsResponse: expected "
     "<SavedObjectsResponse> in " + wiUri, 1, 1},
    {"the request echoed back", "\n  " + saveRequest(), "<SaveWorkInstructionDocInput> in " + wiUri, 2, 3},
    {"its name in no namespace", "<SavedObjectsResponse/>", "<SavedObjectsResponse> in no namespace", 1, 1},
    {"its name in another namespace", "<x:SavedObjectsResponse xmlns:x=\"urn:other\"/>",
     "<SavedObjectsResponse> in urn:other is not", 1, 1},
    {"another message in an envelope", enveloped(loadedReply()), "The message element <LoadedObjectsResponse>", 2, 1},
    // Malformed text and a broken envelope come first, as in any read.
    {"another reply, cut short: refused before the rest is read",
     loadedReply().substr(0, loadedReply().size() - 1), "is not a SavedObjectsResponse", 1, 1},
    {"another message behind a refused header",
     enveloped(loadedReply(), "<e:Header><h:lock xmlns:h=\"urn:h\" e:mustUnderstand=\"1\"/></e:Header>"),
     "must be understood", 1, 75},
};

template <class Read>
void expectEveryCase(Read read)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.refusal.empty()) {
            EXPECT_EQ(wi::writeXml(*read(c.text)), savedReply());
            continue;
        }
        try {
            read(c.text);
            ADD_FAILURE() << "read as a SavedObjectsResponse";
        } catch (const DomException& error) {
            EXPECT_NE(error.getMessage().find(c.refusal), std::string::npos) << error.getMessage();
            EXPECT_EQ(error.line(), c.line);
            EXPECT_EQ(error.column(), c.column);
        }
    }
}

TEST(MessageElement, OnlyItsOwnElementReadsAsAMessage)
{
    expectEveryCase([](const std::string& text) { return wi::readXml<wi::SavedObjectsResponse>(text); });
}

TEST(MessageElement, StreamsAreJudgedAsTexts)
{
    expectEveryCase([](const std::string& text) {
        std::istringstream stream(text);
        return wi::readXml<wi::SavedObjectsResponse>(stream);
    });
}

TEST(MessageElement, AFaultIsStillAFault)
{
    const std::string fault = enveloped("<e:Fault><faultcode>e:Server</faultcode><faultstring>down</faultstring></e:Fault>");
    EXPECT_THROW(wi::readXml<wi::SavedObjectsResponse>(fault), ::Kavella::Soa::Common::Xml::SoapFault);
    std::istringstream stream(fault);
    EXPECT_THROW(wi::readXml<wi::SavedObjectsResponse>(stream), ::Kavella::Soa::Common::Xml::SoapFault);
}

TEST(MessageElement, OtherClassesReadFromWhateverElementHoldsThem)
{
    wi::IntMap entry;
    entry.setKey("count");
    entry.setValue(42);
    const std::string text = writeAsRoot(entry);
    EXPECT_EQ(wi::readXml<wi::IntMap>(text)->getValue(), 42);
}

} // namespace
} // namespace roundtrip
