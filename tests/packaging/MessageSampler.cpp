// Writes sample messages of all four document kinds through the public API,
// for validation against the XML Schema. Seed 0 fills every array with at
// least one entry, so that every element and attribute of the schema occurs;
// the other seeds vary sizes, values, prefixes and indentation.
//
// Usage: wi_message_sampler <output directory> <number of seeds>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "SampleValues.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace {

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
namespace Base = Kavella::Schemas::Soa::_2006_03::Base;

constexpr int kMaxCreateInputDepth = 2;

class MessageBuilder {
public:
    explicit MessageBuilder(std::uint32_t seed) : m_values(seed), m_least(seed == 0 ? 1 : 0) {}

    AutoPtr<LoadWorkInstructionDocInput> loadRequest()
    {
        AutoPtr<LoadWorkInstructionDocInput> message(new LoadWorkInstructionDocInput);
        repeat([&] {
            AutoPtr<ObjectsReferenced> entry(new ObjectsReferenced);
            entry->setTargetContext(model());
            entry->setTargetObject(model());
            message->addLoadedInfo(entry);
        });
        return message;
    }

    AutoPtr<LoadedObjectsResponse> loadReply()
    {
        AutoPtr<LoadedObjectsResponse> message(new LoadedObjectsResponse);
        repeat([&] {
            AutoPtr<LoadedObjectInfo> info(new LoadedObjectInfo);
            info->setWorkInstructionFile(m_values.text());
            info->setTopObjectDisplayName(m_values.text());
            info->setTargetObjectTransientId(m_values.text());
            info->setTargetContext(model());
            info->setTargetObject(model());
            repeat([&] { info->addLoadedDCD(loadedSubEntry()); });
            repeat([&] { info->addLoadedPF(loadedSubEntry()); });
            repeat([&] { info->addSymbol(model()); });
            repeat([&] {
                AutoPtr<LoadedSTXInfo> stx(new LoadedSTXInfo);
                stx->setTransientId(m_values.text());
                stx->setWorkInstructionFile(m_values.text());
                stx->setStxObjectData(model());
                repeat([&] { stx->addSymbol(model()); });
                info->addLoadedSTX(stx);
            });
            message->addLoadedObject(info);
        });
        message->setServiceData(serviceData());
        return message;
    }

    AutoPtr<SaveWorkInstructionDocInput> saveRequest()
    {
        AutoPtr<SaveWorkInstructionDocInput> message(new SaveWorkInstructionDocInput);
        repeat([&] {
            AutoPtr<SavedObjectInfo> info(new SavedObjectInfo);
            info->setWorkInstructionFile(m_values.text());
            info->setTargetObject(model());
            repeat([&] { info->addModifiedDCD(savedSubEntry()); });
            repeat([&] { info->addModifiedPF(savedSubEntry()); });
            repeat([&] { info->addSymbol(model()); });
            repeat([&] {
                AutoPtr<SavedSTXInfo> stx(new SavedSTXInfo);
                stx->setTransientId(m_values.text());
                stx->setStxObjectData(model());
                info->addModifiedSTX(stx);
            });
            message->addSavedObject(info);
        });
        return message;
    }

    AutoPtr<SavedObjectsResponse> saveReply()
    {
        AutoPtr<SavedObjectsResponse> message(new SavedObjectsResponse);
        message->setServiceData(serviceData());
        return message;
    }

private:
    template <typename Add>
    void repeat(Add add)
    {
        for (std::size_t n = m_values.count(m_least, 2); n > 0; --n) add();
    }

    AutoPtr<ModelObject> model() { return AutoPtr<ModelObject>(new ModelObject(m_values.text())); }

    AutoPtr<ServiceData> serviceData()
    {
        AutoPtr<ServiceData> data(new ServiceData);
        repeat([&] { data->addCreated(m_values.text()); });
        repeat([&] { data->addUpdated(m_values.text()); });
        repeat([&] { data->addDeleted(m_values.text()); });
        repeat([&] {
            Base::PartialError error;
            error.uid = m_values.text();
            error.code = m_values.integer();
            error.level = m_values.integer();
            error.message = m_values.text();
            data->addPartialError(error);
        });
        return data;
    }

    AutoPtr<LoadedSubSTXInfo> loadedSubEntry()
    {
        AutoPtr<LoadedSubSTXInfo> entry(new LoadedSubSTXInfo);
        entry->setTransientId(m_values.text());
        entry->setObjectType(m_values.text());
        entry->setPersistentId(m_values.text());
        entry->setOwningObjectTransientId(m_values.text());
        entry->setObjectData(createInput(0));
        return entry;
    }

    AutoPtr<SavedSubSTXInfo> savedSubEntry()
    {
        AutoPtr<SavedSubSTXInfo> entry(new SavedSubSTXInfo);
        entry->setTransientId(m_values.text());
        entry->setPersistentId(m_values.text());
        entry->setOwningObjectTransientId(m_values.text());
        entry->setObjectData(createInput(0));
        return entry;
    }

    template <typename Entry, typename Value>
    AutoPtr<Entry> scalar(Value value)
    {
        AutoPtr<Entry> entry(new Entry);
        entry->setKey(m_values.text());
        entry->setValue(value);
        return entry;
    }

    template <typename Entry, typename Next>
    AutoPtr<Entry> array(Next next)
    {
        AutoPtr<Entry> entry(new Entry);
        entry->setKey(m_values.text());
        repeat([&] { entry->addValue(next()); });
        return entry;
    }

    AutoPtr<CreateInput> createInput(int depth)
    {
        SampleValues& v = m_values;
        AutoPtr<CreateInput> input(new CreateInput);
        input->setType(v.text());
        repeat([&] { input->addStringProp(scalar<StringMap>(v.text())); });
        repeat([&] { input->addStringArrayProp(array<StringVectorMap>([&] { return v.text(); })); });
        repeat([&] { input->addDoubleProp(scalar<DoubleMap>(v.real())); });
        repeat([&] { input->addDoubleArrayProp(array<DoubleVectorMap>([&] { return v.real(); })); });
        repeat([&] { input->addFloatProp(scalar<FloatMap>(v.single())); });
        repeat([&] { input->addFloatArrayProp(array<FloatVectorMap>([&] { return v.single(); })); });
        repeat([&] { input->addIntProp(scalar<IntMap>(v.integer())); });
        repeat([&] { input->addIntArrayProp(array<IntVectorMap>([&] { return v.integer(); })); });
        repeat([&] { input->addBoolProp(scalar<BoolMap>(v.flag())); });
        repeat([&] { input->addBoolArrayProp(array<BoolVectorMap>([&] { return v.flag(); })); });
        repeat([&] { input->addDateProp(scalar<DateMap>(v.date())); });
        repeat([&] { input->addDateArrayProp(array<DateVectorMap>([&] { return v.date(); })); });
        repeat([&] { input->addTagProp(scalar<TagMap>(model())); });
        repeat([&] { input->addTagArrayProp(array<TagVectorMap>([&] { return model(); })); });
        if (depth < kMaxCreateInputDepth) {
            repeat([&] {
                AutoPtr<CreateInputMap> compound(new CreateInputMap);
                compound->setKey(v.text());
                repeat([&] { compound->addValue(createInput(depth + 1)); });
                input->addCompoundCreateInput(compound);
            });
        }
        return input;
    }

    SampleValues m_values;
    std::size_t m_least;
};

// Seeds take turns at the stream's own prefixes, chosen ones, and indentation.
template <typename Message>
bool writeSample(const Message& message, const char* rootName, std::uint32_t seed, const std::string& directory)
{
    XmlStream stream;
    if (seed % 3 == 1) {
        stream.setNamespacePrefix(NamespaceUri, "wi");
        stream.setNamespacePrefix(Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri, "soa");
    }
    if (seed % 3 == 2) stream.setIndent(2);
    message->outputXML(stream, stream.getNamespacePrefix(NamespaceUri) + ":" + rootName);

    const std::string path = directory + "/sample-" + std::to_string(seed) + "-" + rootName + ".xml";
    std::ofstream file(path, std::ios::binary);
    file << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" << stream.str() << '\n';
    if (!file.flush()) {
        std::cerr << "cannot write " << path << '\n';
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " <output directory> <number of seeds>\n";
        return 2;
    }
    const std::string directory = argv[1];
    const auto seeds = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    bool written = true;
    for (std::uint32_t seed = 0; seed < seeds; ++seed) {
        MessageBuilder builder(seed);
        written = writeSample(builder.loadRequest(), "LoadWorkInstructionDocInput", seed, directory) && written;
        written = writeSample(builder.loadReply(), "LoadedObjectsResponse", seed, directory) && written;
        written = writeSample(builder.saveRequest(), "SaveWorkInstructionDocInput", seed, directory) && written;
        written = writeSample(builder.saveReply(), "SavedObjectsResponse", seed, directory) && written;
    }
    return written ? 0 : 1;
}
