// The load request and the load reply with its records.

#include <memory>

#include "ClassModels.hpp"

namespace contract {
namespace {

const std::string emptyServiceData = "<ServiceData></ServiceData>";

std::string targets(const std::string& contextUid, const std::string& objectUid)
{
    return modelXml("targetContext", contextUid) + modelXml("targetObject", objectUid);
}

// ---- request ----------------------------------------------------------------------

TEST(LoadRequestForms, DefaultsWriteStartAndEndTags)
{
    EXPECT_EQ(write(wi::LoadWorkInstructionDocInput()), root(false, "", ""));
    EXPECT_EQ(write(wi::ObjectsReferenced()), root(true, "", targets("", "")));
}

TEST(LoadRequestForms, TargetsReadInEitherOrderAreWrittenContextFirst)
{
    wi::ObjectsReferenced entry;
    const AutoPtr<base::ModelObject> context = entry.getTargetContext();
    read(entry, "<Root ignored='x'><targetObject uid='o'/><targetContext uid='c1'/><targetContext uid='c2'/></Root>");
    EXPECT_EQ(entry.getTargetContext(), context);
    EXPECT_EQ(write(entry), root(true, "", targets("c2", "o")));
}

TEST(LoadRequestForms, ParseAppendsAfterExistingEntriesAndStopsAtAStranger)
{
    wi::LoadWorkInstructionDocInput request;
    request.addLoadedInfo(filled<wi::ObjectsReferenced>());
    request.addLoadedInfo(filled<wi::ObjectsReferenced>());
    const auto first = request.getLoadedInfoArray()[0];
    read(request, "<Root><loadedInfo/><loadedInfo/><loadedInfo><targetObject uid='third'/></loadedInfo></Root>");
    ASSERT_EQ(request.getLoadedInfoArray().size(), 5u);
    EXPECT_EQ(request.getLoadedInfoArray()[0], first);
    EXPECT_EQ(request.getLoadedInfoArray()[4]->getTargetObject()->getUid(), "third");

    wi::LoadWorkInstructionDocInput other;
    EXPECT_EQ(failureOf([&] { read(other, "<Root><loadedInfo/><targetContext/></Root>"); }),
              "Unexpected node name: targetContext");
    EXPECT_EQ(other.getLoadedInfoArray().size(), 1u);
}

TEST(LoadRequestForms, AssignedRequestSharesEntriesButNotLaterAdditions)
{
    wi::LoadWorkInstructionDocInput b;
    fill(b);
    wi::LoadWorkInstructionDocInput a;
    a = b;
    EXPECT_EQ(a.getLoadedInfoArray(), b.getLoadedInfoArray());
    b.addLoadedInfo(make<wi::ObjectsReferenced>());
    EXPECT_EQ(a.getLoadedInfoArray().size(), 2u);

    // Replacing a handle in a clone leaves the source; content of a shared object does not.
    wi::ObjectsReferenced source;
    std::unique_ptr<BaseObject> holder(source.clone());
    auto& clone = dynamic_cast<wi::ObjectsReferenced&>(*holder);
    clone.setTargetContext(model("replaced"));
    clone.getTargetObject()->setUid("seen by both");
    EXPECT_EQ(write(source), root(true, "", targets("", "seen by both")));
}

// ---- loaded text entries ------------------------------------------------------------

TEST(LoadedEntryForms, DefaultsWriteEveryAttributeEmptyAndTheirOneNestedChild)
{
    EXPECT_EQ(write(wi::LoadedSTXInfo()),
              root(true, attr("transientId", "") + attr("workInstructionFile", ""), modelXml("stxObjectData", "")));
    EXPECT_EQ(write(wi::LoadedSubSTXInfo()), root(false,
                                                  attr("transientId", "") + attr("objectType", "") +
                                                      attr("persistentId", "") + attr("owningObjectTransientId", ""),
                                                  child("objectData", attr("type", ""), "")));
}

TEST(LoadedEntryForms, StxEntryGroupsSymbolsAfterItsObjectData)
{
    wi::LoadedSTXInfo entry;
    entry.setTransientId("old");
    const AutoPtr<base::ModelObject> data = entry.getStxObjectData();
    read(entry, "<Root><symbols uid='s1'/><stxObjectData uid='d'/><symbols uid='s2'/></Root>");
    EXPECT_EQ(entry.getStxObjectData(), data);
    EXPECT_EQ(write(entry),
              root(true, attr("transientId", "") + attr("workInstructionFile", ""),
                   modelXml("stxObjectData", "d") + modelXml("symbols", "s1") + modelXml("symbols", "s2")));
}

TEST(LoadedEntryForms, SubEntryStoresAttributesBeforeRefusingAStranger)
{
    wi::LoadedSubSTXInfo entry;
    EXPECT_EQ(failureOf([&] {
                  read(entry, "<Root transientId='t' objectType='o' persistentId='p' owningObjectTransientId='w'>"
                              "<objectData type='x'/><symbols/></Root>");
              }),
              "Unexpected node name: symbols");
    EXPECT_EQ(entry.getOwningObjectTransientId(), "w");
    EXPECT_EQ(entry.getObjectData()->getType(), "x");
}

TEST(LoadedEntryForms, SubEntryReadsRepeatedObjectDataIntoOneCreateInput)
{
    wi::LoadedSubSTXInfo entry;
    const AutoPtr<wi::CreateInput> data = entry.getObjectData();
    read(entry, "<Root><objectData type='a'><intProps key='1' value='1'/></objectData>"
                "<objectData type='b'><intProps key='2' value='2'/></objectData></Root>");
    EXPECT_EQ(entry.getObjectData(), data);
    EXPECT_EQ(data->getType(), "b");
    ASSERT_EQ(data->getIntPropArray().size(), 2u);
    EXPECT_EQ(data->getIntPropArray()[1]->getKey(), "2");
}

TEST(LoadedEntryForms, SubEntryCloneHasItsOwnTextsAndSharesItsCreateInput)
{
    wi::LoadedSubSTXInfo source;
    fill(source);
    std::unique_ptr<BaseObject> holder(source.clone());
    auto& clone = dynamic_cast<wi::LoadedSubSTXInfo&>(*holder);
    clone.setObjectType("changed");
    EXPECT_EQ(source.getObjectType(), "DCD");
    EXPECT_EQ(clone.getObjectData(), source.getObjectData());
}

// ---- records and reply ----------------------------------------------------------------

std::string recordAttributes(const std::string& file, const std::string& name, const std::string& id)
{
    return attr("workInstructionFile", file) + attr("topObjectDisplayName", name) + attr("targetObjectTransientId", id);
}

std::string subEntryXml(const std::string& local, const std::string& id)
{
    return child(local,
                 attr("transientId", id) + attr("objectType", "") + attr("persistentId", "") +
                     attr("owningObjectTransientId", ""),
                 child("objectData", attr("type", ""), ""));
}

TEST(LoadedRecordForms, DefaultRecordWritesThreeEmptyAttributesAndBothTargets)
{
    EXPECT_EQ(write(wi::LoadedObjectInfo()), root(true, recordAttributes("", "", ""), targets("", "")));
}

TEST(LoadedRecordForms, InterleavedChildrenAreWrittenInTheFixedOrder)
{
    wi::LoadedObjectInfo record;
    read(record, "<Root workInstructionFile='f'>"
                 "<loadedPFs transientId='pf1'/><symbols uid='s'/><loadedDCDs transientId='dcd'/>"
                 "<loadedPFs transientId='pf2'/></Root>");
    EXPECT_EQ(record.getLoadedPFArray().size(), 2u);
    EXPECT_EQ(record.getLoadedDCDArray().size(), 1u);
    EXPECT_EQ(record.getSymbolArray().size(), 1u);
    EXPECT_EQ(write(record), root(true, recordAttributes("f", "", ""),
                                  targets("", "") + subEntryXml("loadedDCDs", "dcd") + subEntryXml("loadedPFs", "pf1") +
                                      subEntryXml("loadedPFs", "pf2") + modelXml("symbols", "s")));

    EXPECT_EQ(failureOf([&] { read(record, "<Root><loadedSTXs/><objectData/></Root>"); }),
              "Unexpected node name: objectData");
    EXPECT_EQ(record.getLoadedSTXArray().size(), 1u);
}

TEST(LoadedReplyForms, DefaultReplyWritesOnlyTheBareServiceData)
{
    EXPECT_EQ(write(wi::LoadedObjectsResponse()), root(true, "", emptyServiceData));
}

TEST(LoadedReplyForms, ServiceDataReadAnywhereIsWrittenLastAndFillsTheHeldObject)
{
    wi::LoadedObjectsResponse reply;
    reply.addLoadedObject(make<wi::LoadedObjectInfo>());
    const auto existing = reply.getLoadedObjectArray()[0];
    const AutoPtr<base::ServiceData> data = reply.getServiceData();
    read(reply, "<Root xmlns:b='" + baseUri +
                    "'><ServiceData><b:created uid='c'/></ServiceData>"
                    "<loadedObjects workInstructionFile='one'/><loadedObjects workInstructionFile='two'/></Root>");
    EXPECT_EQ(reply.getServiceData(), data);
    EXPECT_EQ(data->getCreatedArray(), std::vector<std::string>{"c"});
    ASSERT_EQ(reply.getLoadedObjectArray().size(), 3u);
    EXPECT_EQ(reply.getLoadedObjectArray()[0], existing);

    const std::string record = targets("", "");
    EXPECT_EQ(write(reply), root(true, "",
                                 child("loadedObjects", recordAttributes("", "", ""), record) +
                                     child("loadedObjects", recordAttributes("one", "", ""), record) +
                                     child("loadedObjects", recordAttributes("two", "", ""), record) +
                                     element("ServiceData", "", emptyElement("ns2:created", attr("uid", "c")))));

    EXPECT_EQ(failureOf([&] { read(reply, "<Root><serviceData/></Root>"); }), "Unexpected node name: serviceData");
}

TEST(LoadedReplyForms, CloneSharesServiceDataAndRecordsButNotTheArray)
{
    wi::LoadedObjectsResponse source;
    fill(source);
    std::unique_ptr<BaseObject> holder(source.clone());
    auto& clone = dynamic_cast<wi::LoadedObjectsResponse&>(*holder);
    clone.addLoadedObject(make<wi::LoadedObjectInfo>());
    EXPECT_EQ(source.getLoadedObjectArray().size(), 2u);
    EXPECT_EQ(clone.getServiceData(), source.getServiceData());
    EXPECT_EQ(clone.getLoadedObjectArray()[1], source.getLoadedObjectArray()[1]);
}

TEST(LoadedReplyForms, FullReplyBuiltThroughTheInterfaceRoundTripsThroughText)
{
    wi::LoadedObjectsResponse reply;
    fill(reply);
    const std::string text = write(reply);

    wi::LoadedObjectsResponse back;
    read(back, text);
    EXPECT_EQ(write(back), text);

    ASSERT_EQ(back.getLoadedObjectArray().size(), 2u);
    const auto& record = back.getLoadedObjectArray()[1];
    EXPECT_EQ(record->getTopObjectDisplayName(), "Top & \"main\"");
    ASSERT_EQ(record->getLoadedDCDArray().size(), 2u);
    const auto& data = record->getLoadedDCDArray()[1]->getObjectData();
    EXPECT_EQ(data->getStringPropArray().at(0)->getValue(), "a<b & \"c\"\t");
    EXPECT_EQ(data->getDateArrayPropArray().at(0)->getValueArray().at(1), dateAt(3));
    EXPECT_EQ(data->getCompoundCreateInputArray().at(0)->getValueArray().at(0)->getType(), "Operation");
    EXPECT_EQ(record->getLoadedSTXArray().at(0)->getSymbolArray().at(1)->getUid(), "sym-2");

    const auto& errors = back.getServiceData()->getPartialErrorArray();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], reply.getServiceData()->getPartialErrorArray()[0]);
}

} // namespace
} // namespace contract
