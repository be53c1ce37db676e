// The save request with its records and the save reply.

#include <memory>

#include "ClassModels.hpp"

namespace contract {
namespace {

std::string stxXml(const std::string& id, const std::string& uid)
{
    return child("modifiedSTXs", attr("transientId", id), modelXml("stxObjectData", uid));
}

std::string subXml(const std::string& local, const std::string& id, const std::string& type)
{
    return child(local, attr("transientId", id) + attr("persistentId", "") + attr("owningObjectTransientId", ""),
                 child("objectData", attr("type", type), ""));
}

AutoPtr<wi::SavedSTXInfo> stx(const std::string& id, const std::string& uid)
{
    auto entry = make<wi::SavedSTXInfo>();
    entry->setTransientId(id);
    entry->getStxObjectData()->setUid(uid);
    return entry;
}

AutoPtr<wi::SavedSubSTXInfo> sub(const std::string& id, const std::string& type)
{
    auto entry = make<wi::SavedSubSTXInfo>();
    entry->setTransientId(id);
    entry->getObjectData()->setType(type);
    return entry;
}

TEST(SaveForms, DefaultsWriteTheirFixedChildren)
{
    EXPECT_EQ(write(wi::SaveWorkInstructionDocInput()), root(false, "", ""));
    EXPECT_EQ(write(wi::SavedObjectInfo()), root(true, attr("workInstructionFile", ""), modelXml("targetObject", "")));
    EXPECT_EQ(write(wi::SavedSTXInfo()), root(true, attr("transientId", ""), modelXml("stxObjectData", "")));
    EXPECT_EQ(write(wi::SavedSubSTXInfo()),
              root(false, attr("transientId", "") + attr("persistentId", "") + attr("owningObjectTransientId", ""),
                   child("objectData", attr("type", ""), "")));
    EXPECT_EQ(write(wi::SavedObjectsResponse()), root(true, "", "<ServiceData></ServiceData>"));
}

TEST(SaveForms, RecordWritesItsArraysInTheFixedOrder)
{
    wi::SavedObjectInfo record;
    record.setWorkInstructionFile("doc.wi");
    record.getTargetObject()->setUid("target");
    record.addModifiedSTX(stx("x1", "u1"));
    record.addModifiedDCD(sub("d1", "A"));
    record.addModifiedSTX(stx("x2", "u2"));
    record.addModifiedPF(sub("p1", "B"));
    record.addModifiedDCD(sub("d2", "C"));
    record.addModifiedSTX(stx("x3", "u3"));
    EXPECT_EQ(write(record), root(true, attr("workInstructionFile", "doc.wi"),
                                  modelXml("targetObject", "target") + subXml("modifiedDCDs", "d1", "A") +
                                      subXml("modifiedDCDs", "d2", "C") + subXml("modifiedPFs", "p1", "B") +
                                      stxXml("x1", "u1") + stxXml("x2", "u2") + stxXml("x3", "u3")));
}

TEST(SaveForms, ChildrenReadOutOfOrderAreWrittenGrouped)
{
    const std::string text = "<Root workInstructionFile='f'><modifiedSTXs transientId='x1'/>"
                             "<modifiedDCDs transientId='d1'/><modifiedSTXs transientId='x2'/></Root>";
    wi::SavedObjectInfo record;
    read(record, text);
    EXPECT_EQ(write(record), root(true, attr("workInstructionFile", "f"),
                                  modelXml("targetObject", "") + subXml("modifiedDCDs", "d1", "") + stxXml("x1", "") +
                                      stxXml("x2", "")));
}

TEST(SaveForms, ParsingTwiceDoublesEveryArrayAndReusesTheTarget)
{
    const std::string text = "<Root><targetObject uid='t'/><modifiedDCDs/><modifiedPFs/><symbols uid='s'/>"
                             "<modifiedSTXs/></Root>";
    wi::SavedObjectInfo record;
    const AutoPtr<base::ModelObject> target = record.getTargetObject();
    read(record, text);
    read(record, text);
    EXPECT_EQ(record.getTargetObject(), target);
    EXPECT_EQ(record.getModifiedDCDArray().size(), 2u);
    EXPECT_EQ(record.getModifiedPFArray().size(), 2u);
    EXPECT_EQ(record.getSymbolArray().size(), 2u);
    EXPECT_EQ(record.getModifiedSTXArray().size(), 2u);

    wi::SaveWorkInstructionDocInput request;
    read(request, "<Root><savedObjects/></Root>");
    read(request, "<Root><savedObjects/></Root>");
    EXPECT_EQ(request.getSavedObjectArray().size(), 2u);
}

TEST(SaveForms, UnexpectedChildrenKeepWhatWasReadBeforeThem)
{
    wi::SavedObjectInfo record;
    EXPECT_EQ(failureOf([&] { read(record, "<Root workInstructionFile='f'><symbols/><loadedDCDs/></Root>"); }),
              "Unexpected node name: loadedDCDs");
    EXPECT_EQ(record.getWorkInstructionFile(), "f");
    EXPECT_EQ(record.getSymbolArray().size(), 1u);

    wi::SaveWorkInstructionDocInput request;
    EXPECT_EQ(failureOf([&] { read(request, "<Root><savedObjects/><modifiedDCDs/></Root>"); }),
              "Unexpected node name: modifiedDCDs");
    EXPECT_EQ(request.getSavedObjectArray().size(), 1u);

    wi::SavedObjectsResponse reply;
    EXPECT_EQ(failureOf([&] { read(reply, "<Root><savedObjects/></Root>"); }), "Unexpected node name: savedObjects");

    wi::SavedSTXInfo stxEntry;
    EXPECT_EQ(failureOf([&] { read(stxEntry, "<Root transientId='t'><symbols/></Root>"); }),
              "Unexpected node name: symbols");
    EXPECT_EQ(stxEntry.getTransientId(), "t");

    wi::SavedSubSTXInfo subEntry;
    EXPECT_EQ(failureOf([&] { read(subEntry, "<Root persistentId='p'><stxObjectData/></Root>"); }),
              "Unexpected node name: stxObjectData");
    EXPECT_EQ(subEntry.getPersistentId(), "p");
}

TEST(SaveForms, RepeatedNestedChildIsParsedIntoTheSameObject)
{
    wi::SavedSTXInfo entry;
    const AutoPtr<base::ModelObject> data = entry.getStxObjectData();
    read(entry, "<Root><stxObjectData uid='a'/><stxObjectData uid='b'/></Root>");
    EXPECT_EQ(entry.getStxObjectData(), data);
    EXPECT_EQ(data->getUid(), "b");

    read(entry, "<Root/>");
    EXPECT_EQ(entry.getStxObjectData(), data);
    EXPECT_EQ(data->getUid(), "b");
}

// Nothing in the schema is nillable, but a peer marks a member it has no value
// for with xsi:nil: a single member reads as a null handle, an array entry as
// none, however the mark is written; a mark that says false changes nothing.
TEST(SaveForms, MemberMarkedNilReadsAsAbsent)
{
    const struct {
        const char* nil;
        bool absent;
    } rows[] = {{"true", true}, {" 1 ", true}, {"false", false}, {"0", false}};
    for (const auto& row : rows) {
        const std::string mark = std::string(" xsi:nil='") + row.nil + "'";
        wi::SavedObjectInfo info;
        read(info, "<Root xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'><targetObject" + mark +
                       "/><modifiedSTXs" + mark + "/><modifiedDCDs transientId='d'><objectData" + mark +
                       "/></modifiedDCDs></Root>");
        EXPECT_EQ(info.getTargetObject().get() == nullptr, row.absent) << row.nil;
        EXPECT_EQ(info.getModifiedSTXArray().size(), row.absent ? 0u : 1u) << row.nil;
        ASSERT_EQ(info.getModifiedDCDArray().size(), 1u) << row.nil;
        EXPECT_EQ(info.getModifiedDCDArray()[0]->getObjectData().get() == nullptr, row.absent) << row.nil;
        // Written again, an absent member is left out, not refused.
        const std::string text = wi::writeXml(info);
        EXPECT_EQ(text.find("targetObject") == std::string::npos, row.absent) << text;
        EXPECT_EQ(text.find("objectData") == std::string::npos, row.absent) << text;
    }
}

TEST(SaveForms, AssignedEntrySharesItsCreateInputUntilGivenAnother)
{
    wi::SavedSubSTXInfo a;
    a.setTransientId("a");
    wi::SavedSubSTXInfo b;
    b = a;
    read(b, "<Root><objectData type='Changed'><intProps key='k' value='1'/></objectData></Root>");
    EXPECT_EQ(a.getObjectData()->getType(), "Changed");
    EXPECT_EQ(a.getObjectData()->getIntPropArray().size(), 1u);

    b.setObjectData(make<wi::CreateInput>());
    b.getObjectData()->setType("Only b");
    EXPECT_EQ(a.getObjectData()->getType(), "Changed");
    EXPECT_EQ(b.getTransientId(), "");
}

TEST(SaveForms, CopiedReplySharesItsServiceData)
{
    wi::SavedObjectsResponse source;
    wi::SavedObjectsResponse copy(source);
    read(copy, "<Root xmlns:b='" + baseUri + "'><ServiceData><b:deleted uid='gone'/></ServiceData></Root>");
    EXPECT_EQ(source.getServiceData()->getDeletedArray(), std::vector<std::string>{"gone"});
}

TEST(SaveForms, RequestTravelsThroughTextAndTheReplyIsRead)
{
    auto record = make<wi::SavedObjectInfo>();
    record->setWorkInstructionFile("line-7.wi");
    record->setTargetObject(model("item-7"));
    record->addModifiedSTX(stx("stx-1", "obj-1"));
    auto dcd = sub("dcd-1", "Dimension");
    dcd->setPersistentId("P-100");
    dcd->setOwningObjectTransientId("stx-1");
    auto& data = *dcd->getObjectData();
    fill(data);
    record->addModifiedDCD(dcd);
    record->addModifiedPF(sub("pf-1", "Feature"));
    record->addSymbol(model("sym-9"));
    wi::SaveWorkInstructionDocInput request;
    request.addSavedObject(record);
    request.addSavedObject(filled<wi::SavedObjectInfo>());

    std::set<std::string> namespaces;
    request.getNamespaces(namespaces);
    EXPECT_EQ(namespaces, (std::set<std::string>{schemaUri, baseUri}));

    const std::string text = write(request, "saveWorkInstructionDoc");
    EXPECT_EQ(text.rfind("<ns1:saveWorkInstructionDoc" + declarations(true) + ">", 0), 0u);
    wi::SaveWorkInstructionDocInput back;
    read(back, text);
    EXPECT_EQ(write(back, "saveWorkInstructionDoc"), text);
    const auto& first = back.getSavedObjectArray().at(0);
    EXPECT_EQ(first->getTargetObject()->getUid(), "item-7");
    EXPECT_EQ(first->getModifiedDCDArray().at(0)->getOwningObjectTransientId(), "stx-1");
    EXPECT_EQ(first->getModifiedDCDArray()
                  .at(0)
                  ->getObjectData()
                  ->getTagArrayPropArray()
                  .at(0)
                  ->getValueArray()
                  .at(1)
                  ->getUid(),
              "t2");

    wi::SavedObjectsResponse reply;
    read(reply, "<r:saveReply xmlns:r='" + schemaUri + "' xmlns:b='" + baseUri +
                    "'><ServiceData>"
                    "<b:updated uid='item-7'/><b:partialErrors uid='P-100' code='214' level='3' message='locked'/>"
                    "</ServiceData></r:saveReply>");
    EXPECT_EQ(reply.getServiceData()->getUpdatedArray(), std::vector<std::string>{"item-7"});
    ASSERT_EQ(reply.getServiceData()->getPartialErrorArray().size(), 1u);
    EXPECT_EQ(reply.getServiceData()->getPartialErrorArray()[0].code, 214);
}

} // namespace
} // namespace contract
