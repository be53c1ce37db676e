#include "workinstructions/ClassView.hpp"

#include "ClassSchema.hpp"
#include "ObjectReader.hpp"
#include "workinstructions/SchemaClasses.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

namespace {

std::string_view unqualified(std::string_view qualified)
{
    return qualified.substr(qualified.rfind(':') + 1);
}

} // namespace

std::string_view MemberView::name() const noexcept
{
    return {m_member->name, m_member->nameLength};
}

MemberKind MemberView::kind() const noexcept
{
    return m_member->kind;
}

ValueKind MemberView::valueKind() const noexcept
{
    return m_member->valueKind;
}

bool MemberView::required() const noexcept
{
    return m_member->required;
}

ClassView MemberView::nestedClass() const noexcept
{
    return m_member->objects.nestedSchema ? ClassView(m_member->objects.nestedSchema()) : ClassView();
}

std::size_t MemberView::entryCount(const BaseObject& object) const
{
    return m_member->holdsObjects() ? m_member->objects.entryCount(object) : 0;
}

const BaseObject& MemberView::entry(const BaseObject& object, std::size_t index) const
{
    return m_member->objects.entry(object, index);
}

std::vector<std::string> MemberView::texts(const BaseObject& object) const
{
    std::vector<std::string> texts;
    if (!m_member->values.count) return texts;
    const std::size_t count = m_member->values.count(object);
    for (std::size_t i = 0; i < count; ++i) texts.push_back(m_member->values.text(object, i));
    return texts;
}

std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> ClassView::messageReader(
    ::Kavella::Soa::Common::Xml::BaseObject& object, ::Kavella::Soa::Common::Xml::XMLEventReader& parser,
    const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader& envelope, const char* element,
    const AbsentMemberHandler* absent) const
{
    auto reader = std::make_unique<detail::ObjectReader>(parser, envelope, object, *m_schema);
    reader->expectElement(element);
    reader->reportAbsent(absent);
    return reader;
}

std::string_view ClassView::name() const noexcept
{
    return unqualified(qualifiedName());
}

std::string_view ClassView::qualifiedName() const noexcept
{
    return m_schema ? m_schema->allocationTag : "";
}

std::size_t ClassView::size() const noexcept
{
    return m_schema ? m_schema->memberCount : 0;
}

MemberView ClassView::operator[](std::size_t index) const noexcept
{
    return MemberView(&m_schema->members[index]);
}

MemberView ClassView::findMember(std::string_view name, bool element) const noexcept
{
    for (MemberView member : *this) {
        if (member.isElement() == element && member.name() == name) return member;
    }
    return MemberView();
}

bool ClassView::isMessage() const noexcept
{
    return m_schema && m_schema->message;
}

AutoPtr<BaseObject> ClassView::make() const
{
    return AutoPtr<BaseObject>(m_schema ? m_schema->make() : nullptr);
}

namespace {

template <class Text>
AutoPtr<BaseObject> readAs(const detail::ClassSchema& schema, Text& text, const XMLReadLimits& limits,
                           const AbsentMemberHandler& absent)
{
    AutoPtr<BaseObject> object(schema.make());
    detail::readObject(*object, schema, text, limits, detail::messageElement(schema), absent ? &absent : nullptr);
    return object;
}

} // namespace

AutoPtr<BaseObject> ClassView::read(std::string_view text, const XMLReadLimits& limits,
                                    const AbsentMemberHandler& absent) const
{
    return readAs(*m_schema, text, limits, absent);
}

AutoPtr<BaseObject> ClassView::read(std::istream& text, const XMLReadLimits& limits,
                                    const AbsentMemberHandler& absent) const
{
    return readAs(*m_schema, text, limits, absent);
}

std::string ClassView::write(const BaseObject& object, const WriteFormat& format) const
{
    return detail::writeDocument(object, *m_schema, format);
}

void ClassView::write(const BaseObject& object, XmlStream& stream, const std::string& elementName) const
{
    detail::writeObject(object, stream, elementName, *m_schema);
}

template <class T>
ClassView classView() noexcept
{
    return ClassView(&detail::SchemaAccess::of<T>());
}

#define WI_DEFINE_CLASS_VIEW(Class) template WI_API ClassView classView<Class>() noexcept;
WI_SCHEMA_CLASSES(WI_DEFINE_CLASS_VIEW)
#undef WI_DEFINE_CLASS_VIEW

const std::vector<ClassView>& schemaClasses()
{
#define WI_LIST_CLASS_VIEW(Class) classView<Class>(),
    static const std::vector<ClassView> classes{WI_SCHEMA_CLASSES(WI_LIST_CLASS_VIEW)};
#undef WI_LIST_CLASS_VIEW
    return classes;
}

ClassView findClass(std::string_view name)
{
    for (const ClassView& view : schemaClasses()) {
        if (view.name() == name) return view;
    }
    return ClassView();
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
