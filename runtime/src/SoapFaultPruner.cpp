// What a streaming reader keeps of a Fault: the parts throwSoapFault reads,
// the detail's entries whole up to a bound, and of the rest only the text.

#include "kvsoa/SoapFault.hpp"

#include "SoapText.hpp"

namespace Kavella::Soa::Common::Xml {

SoapFaultPruner::SoapFaultPruner(std::string_view faultUri) : m_uri(faultUri) {}

bool SoapFaultPruner::enter(const XMLStartTag& tag)
{
    return enter(tag.uri, tag.name, tag.attributes, tag.namespaces.size());
}

bool SoapFaultPruner::enter(std::string_view uri, std::string_view name, const XMLAttributes& attributes)
{
    return enter(uri, name, attributes, 0);
}

bool SoapFaultPruner::enter(std::string_view uri, std::string_view name, const XMLAttributes& attributes,
                            std::size_t declarations)
{
    if (m_kept.empty()) {
        m_kept.push_back({Kept::Fault, 0});
        return true;
    }
    // As findPart matches: the fault's namespace or none for the SOAP 1.2
    // parts, none for the SOAP 1.1 ones.
    const bool partOf12 = uri == m_uri || uri.empty();
    const bool partOf11 = uri.empty();
    Kept& parent = m_kept.back();
    const auto first = [&](unsigned bit, Kept::Kind kind) {
        if (parent.seen & bit) return false;
        parent.seen |= bit;
        m_kept.push_back({kind, 0});
        return true;
    };
    switch (parent.kind) {
    case Kept::Fault:
        if (partOf12 && name == "Code") return first(1u << 0, Kept::Code);
        if (partOf12 && name == "Reason") return first(1u << 1, Kept::Reason);
        if (partOf12 && name == "Detail") return first(1u << 2, Kept::Detail);
        if (partOf11 && name == "faultcode") return first(1u << 3, Kept::Other);
        if (partOf11 && name == "faultstring") return first(1u << 4, Kept::Other);
        if (partOf11 && name == "detail") return first(1u << 5, Kept::Detail);
        return false;
    case Kept::Code:
        if (partOf12 && name == "Value") return first(1u << 0, Kept::Other);
        if (partOf12 && name == "Subcode") return first(1u << 1, Kept::Code);
        return false;
    case Kept::Reason: {
        if (!partOf12 || name != "Text") return false;
        const XMLAttribute* lang = nullptr;
        for (const XMLAttribute& attribute : attributes) {
            if (!lang && attribute.hasName(xmlLang)) lang = &attribute;
        }
        const bool english = isEnglish(lang);
        const bool firstText = !(parent.seen & 1u);
        const bool firstEnglish = english && !(parent.seen & 2u);
        if (!firstText && !firstEnglish) return false;
        parent.seen |= 1u | (english ? 2u : 0u);
        m_kept.push_back({Kept::Other, 0});
        return true;
    }
    case Kept::Detail:
        return enterDetail(1 + attributes.size() + declarations);
    case Kept::Other:
        break;
    }
    return false;
}

// Inside a detail every element counts, until the bound is reached; what
// comes after lends its text only, so a huge detail costs no more nodes.
bool SoapFaultPruner::enterDetail(std::size_t cost)
{
    if (cost > m_detailLeft) {
        m_detailLeft = 0; // nothing later is kept either, small or not
        return false;
    }
    m_detailLeft -= cost;
    m_kept.push_back({Kept::Detail, 0});
    return true;
}

void SoapFaultPruner::leave() noexcept
{
    if (!m_kept.empty()) m_kept.pop_back();
}

} // namespace Kavella::Soa::Common::Xml
