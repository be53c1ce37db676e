// What a message lacks, told as the reader passes it: an element's attributes
// as it starts, its single nested objects as it ends.

#include "ObjectReader.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

using ::Kavella::Soa::Common::Xml::XMLAttribute;

void ObjectReader::reportAbsentAttributes(const XMLStartTag& tag)
{
    Frame& frame = m_frames.back();
    const XMLPosition at = position();
    frame.line = at.line;
    frame.column = at.column;
    if (m_frames.size() == 1 || m_frames[m_frames.size() - 2].kind != Frame::Object) m_rootName = tag.name;
    for (const Member& member : *frame.schema) {
        if (member.isChild()) continue;
        bool present = false;
        for (const XMLAttribute& attribute : tag.attributes) {
            present = present || (attribute.uri.empty() && member.isNamed(attribute.name));
        }
        if (!present) reportAbsentMember(frame, member);
    }
}

void ObjectReader::reportAbsentChildren()
{
    const Frame& frame = m_frames.back();
    for (const Member& member : *frame.schema) {
        const bool seen = frame.singlesSeen & (std::uint32_t{1} << (&member - frame.schema->members));
        if (member.isChild() && member.isSingle() && !seen) reportAbsentMember(frame, member);
    }
}

// The path runs through the object frames below: each entered through its
// holder's last matched row, as that row's last entry.
void ObjectReader::reportAbsentMember(const Frame& frame, const Member& member)
{
    std::size_t first = m_frames.size() - 1;
    while (first > 0 && m_frames[first - 1].kind == Frame::Object) --first;
    std::string path;
    std::string_view element = m_rootName;
    for (std::size_t i = first + 1; i < m_frames.size(); ++i) {
        const Frame& holder = m_frames[i - 1];
        const Member& row = *holder.member;
        element = {row.name, row.nameLength};
        if (!path.empty()) path += '.';
        path.append(element);
        if (row.kind == MemberKind::Children) {
            path += '[' + std::to_string(row.objects.entryCount(*holder.object) - 1) + ']';
        }
    }
    (*m_absent)(AbsentMember{ViewAccess::member(member), ViewAccess::of(*frame.schema), path, element, {frame.line, frame.column}});
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
