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

std::string_view MemberView::typeName() const noexcept
{
    if (m_member->typeName) return m_member->typeName;
    return unqualified(m_member->nestedSchema()->allocationTag);
}

ClassView MemberView::nestedClass() const noexcept
{
    return m_member->nestedSchema ? ClassView(m_member->nestedSchema()) : ClassView();
}

std::size_t MemberView::entryCount(const ::Kavella::Soa::Common::Xml::BaseObject& object) const
{
    return m_member->holdsObjects() ? m_member->entryCount(object) : 0;
}

const ::Kavella::Soa::Common::Xml::BaseObject& MemberView::entry(const ::Kavella::Soa::Common::Xml::BaseObject& object,
                                                                std::size_t index) const
{
    return m_member->entry(object, index);
}

std::vector<std::string> MemberView::texts(const ::Kavella::Soa::Common::Xml::BaseObject& object) const
{
    return m_member->texts ? m_member->texts(object) : std::vector<std::string>();
}

std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> ClassView::messageReader(
    ::Kavella::Soa::Common::Xml::BaseObject& object, ::Kavella::Soa::Common::Xml::XMLEventReader& parser,
    const ::Kavella::Soa::Common::Xml::SoapEnvelopeReader& envelope, const char* element) const
{
    auto reader = std::make_unique<detail::ObjectReader>(parser, envelope, object, *m_schema);
    reader->expectElement(element);
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
