// A text that XML cannot carry is refused when it is written, wherever it
// sits in the tree, and none of it reaches the stream.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RoundTripSupport.hpp"

namespace roundtrip {
namespace {

using ::Kavella::Soa::Common::Xml::DomException;

struct BadText {
    std::string bytes;
    const char* reason; // what the error message says
};

const BadText badTexts[] = {
    {"\x01", "control character U+0001"},   {"tab\x0Bvertical", "control character U+000B"},
    {"\x1F", "control character U+001F"},   {std::string("nul\0byte", 8), "control character U+0000"},
    {"caf\xC3", "truncated UTF-8"},         {"\x80", "continuation"},
    {"\xFF", "UTF-8"},                      {"\xC0\xAF", "overlong"},
    {"\xE0\x80\xAF", "overlong"},           {"\xED\xA0\x80", "surrogate"},
    {"\xF4\x90\x80\x80", "above U+10FFFF"}, {"\xEF\xBF\xBE", "U+FFFE"},
    {"\xEF\xBF\xBF", "U+FFFF"},
};

using Writer = std::function<void(XmlStream&)>;

template <typename T>
Writer writer(AutoPtr<T> root)
{
    return [root](XmlStream& stream) { root->outputXML(stream, stream.getNamespacePrefix(wi::NamespaceUri) + ":root"); };
}

// Each builds a tree that holds the text in one place and returns its writer.
const std::pair<const char*, std::function<Writer(const std::string&)>> places[] = {
    {"StringMap key", [](const std::string& text) {
         AutoPtr<wi::StringMap> entry(new wi::StringMap);
         entry->setKey(text);
         return writer(entry);
     }},
    {"StringVectorMap value element after a good one", [](const std::string& text) {
         AutoPtr<wi::StringVectorMap> entry(new wi::StringVectorMap);
         entry->setValueArray({"good", text});
         return writer(entry);
     }},
    {"creation input two compound levels down in a save request", [](const std::string& text) {
         AutoPtr<wi::CreateInput> input(new wi::CreateInput);
         input->setType(text);
         for (int level = 0; level < 2; ++level) {
             AutoPtr<wi::CreateInputMap> map(new wi::CreateInputMap);
             map->addValue(input);
             input = new wi::CreateInput;
             input->addCompoundCreateInput(map);
         }
         AutoPtr<wi::SavedSubSTXInfo> dcd(new wi::SavedSubSTXInfo);
         dcd->setObjectData(input);
         AutoPtr<wi::SavedObjectInfo> info(new wi::SavedObjectInfo);
         info->addModifiedDCD(dcd);
         AutoPtr<wi::SaveWorkInstructionDocInput> request(new wi::SaveWorkInstructionDocInput);
         request->addSavedObject(info);
         return writer(request);
     }},
    {"model object uid in a tag array", [](const std::string& text) {
         AutoPtr<wi::TagVectorMap> entry(new wi::TagVectorMap);
         entry->setValueArray({new wi::ModelObject("good"), new wi::ModelObject(text)});
         return writer(entry);
     }},
    {"partial error message of a reply", [](const std::string& text) {
         AutoPtr<wi::SavedObjectsResponse> reply(new wi::SavedObjectsResponse);
         reply->getServiceData()->addPartialError({"uid", text, 1, 2});
         return writer(reply);
     }},
};

TEST(UnwritableText, IsRefusedWhereverItSitsAndNeverReachesTheOutput)
{
    for (const auto& [where, place] : places) {
        SCOPED_TRACE(where);
        {
            // The same tree with a good text writes: the refusals below are the text's doing.
            XmlStream stream;
            place("good \xC3\xA9 text")(stream);
            ASSERT_NE(stream.str().find("good \xC3\xA9 text"), std::string::npos);
        }
        for (const BadText& bad : badTexts) {
            XmlStream stream;
            try {
                place(bad.bytes)(stream);
                ADD_FAILURE() << "written: " << stream.str();
            } catch (const DomException& error) {
                EXPECT_NE(error.getMessage().find(bad.reason), std::string::npos)
                    << "\"" << error.getMessage() << "\" does not say " << bad.reason;
            }
            EXPECT_EQ(stream.str().find(bad.bytes), std::string::npos) << "the text reached the stream";
        }
    }
}

} // namespace
} // namespace roundtrip
