#include "MissingMembers.hpp"

#include <algorithm>
#include <map>


namespace wixml {

namespace {

using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLPosition;
using ::Kavella::Soa::Common::Xml::XMLStartTag;
using ::Velmora::Schemas::Mes::_2010_09::Workinstructions::MessageHead;

class MemberWalk : public XMLEventHandler {
public:
    MemberWalk(XMLEventReader& reader, const SchemaMembers& schema, const std::string& rootType, const MessageHead& head)
        : m_reader(reader), m_schema(schema), m_rootType(rootType), m_head(head)
    {
    }

    void startElement(const XMLStartTag& tag) override
    {
        if (m_frames.empty()) {
            if (!isMessage(tag)) return;
            open(tag, m_rootType.empty() ? m_schema.typeOfMessage(tag.name) : m_rootType, {});
            return;
        }
        Frame& parent = m_frames.back();
        const std::size_t index = parent.seen[std::string(tag.name)]++;
        const SchemaMember* member = parent.members ? find(*parent.members, tag.name, false) : nullptr;
        std::vector<std::pair<std::string, std::size_t>> path = parent.path;
        path.emplace_back(tag.name, index);
        open(tag, member ? member->type : std::string(), std::move(path));
    }

    void endElement() override
    {
        if (!m_frames.empty()) {
            const Frame& frame = m_frames.back();
            for (const SchemaMember& member : frame.members ? *frame.members : std::vector<SchemaMember>{}) {
                if (!member.attribute && member.single && !frame.seen.count(member.name)) report(frame, member);
            }
            m_frames.pop_back();
            if (m_frames.empty()) m_reader.stop(); // the message is over; what follows is the reader's to judge
        }
    }

    void characters(std::string_view) override {}

    std::vector<MissingMember> missing;

private:
    struct Frame {
        const std::vector<SchemaMember>* members;
        std::vector<std::pair<std::string, std::size_t>> path;
        std::string name;
        XMLPosition at;
        std::map<std::string, std::size_t, std::less<>> seen; // children by name
    };

    // The head's element, told by where it starts; its position is asked only
    // of an element of its name, as counting one costs.
    bool isMessage(const XMLStartTag& tag) const
    {
        if (tag.name != m_head.name || tag.uri != m_head.uri) return false;
        const XMLPosition at = m_reader.elementPosition();
        return at.line == m_head.at.line && at.column == m_head.at.column;
    }

    static const SchemaMember* find(const std::vector<SchemaMember>& members, std::string_view name, bool attribute)
    {
        const auto found = std::find_if(members.begin(), members.end(), [&](const SchemaMember& member) {
            return member.attribute == attribute && member.name == name;
        });
        return found == members.end() ? nullptr : &*found;
    }

    void open(const XMLStartTag& tag, const std::string& type, std::vector<std::pair<std::string, std::size_t>> path)
    {
        const std::vector<SchemaMember>* members = type.empty() ? nullptr : m_schema.membersOf(type);
        // Positions are counted only for elements that can lack something.
        m_frames.push_back({members, std::move(path), std::string(tag.name), members ? m_reader.elementPosition() : XMLPosition{}, {}});
        if (!members) return;
        for (const SchemaMember& member : *members) {
            if (!member.attribute) continue;
            const bool present = std::any_of(tag.attributes.begin(), tag.attributes.end(), [&](const auto& attribute) {
                return attribute.uri.empty() && attribute.name == member.name;
            });
            if (!present) report(m_frames.back(), member);
        }
    }

    void report(const Frame& frame, const SchemaMember& member)
    {
        missing.push_back({frame.path, frame.name, member.name, member.attribute, member.required, frame.at.line,
                           frame.at.column});
    }

    XMLEventReader& m_reader;
    const SchemaMembers& m_schema;
    const std::string& m_rootType;
    const MessageHead& m_head;
    std::vector<Frame> m_frames;
};

} // namespace

std::vector<MissingMember> findMissingMembers(std::istream& text, const SchemaMembers& schema,
                                              const std::string& rootType, const MessageHead& head,
                                              const ::Kavella::Soa::Common::Xml::XMLReadLimits& limits)
{
    XMLEventReader reader(limits);
    MemberWalk walk(reader, schema, rootType, head);
    reader.read(text, walk);
    // An element's own lacks are found at its end, after those inside it: in the order of the text instead.
    std::stable_sort(walk.missing.begin(), walk.missing.end(), [](const MissingMember& a, const MissingMember& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return std::move(walk.missing);
}

} // namespace wixml
