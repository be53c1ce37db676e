#include "ServeStrict.hpp"

#include <malloc.h>

#include <memory>

#include "SchemaCheck.hpp"
#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace wixml {

using ::Kavella::Soa::Common::Xml::appendFaultText;
using ::Kavella::Soa::Common::Xml::messageNode;
using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::SoapFaultCode;
using ::Kavella::Soa::Common::Xml::SoapFaultParts;
using ::Kavella::Soa::Common::Xml::XMLDocument;

namespace {

// The detail stays under this many bytes whatever the request, so that a
// fault answer stays under 64 KiB: entries that do not fit are counted.
constexpr std::size_t maxDetailBytes = 48 << 10;
constexpr std::size_t placesShown = 20;
constexpr std::size_t largeMessageBytes = 1 << 20;

// <wixml:error line column>message</wixml:error> per place, then
// <wixml:more count="N"/> for those not shown.
std::string placesMarkup(const std::vector<Violation>& places, std::size_t total)
{
    std::string markup;
    std::size_t shown = 0;
    std::string entry;
    for (const Violation& place : places) {
        if (shown == placesShown) break;
        entry = "<wixml:error xmlns:wixml=\"urn:wixml:serve\" line=\"" + std::to_string(place.line) + "\" column=\"" +
                std::to_string(place.column) + "\">";
        appendFaultText(entry, place.message);
        entry += "</wixml:error>";
        if (markup.size() + entry.size() > maxDetailBytes) break;
        markup += entry;
        ++shown;
    }
    if (total > shown) {
        markup += "<wixml:more xmlns:wixml=\"urn:wixml:serve\" count=\"" + std::to_string(total - shown) + "\"/>";
    }
    return markup;
}

} // namespace

std::function<void(std::string_view, wi::Envelope)> strictCheck(const std::string& schemaDirectory,
                                                                 const wi::XMLReadLimits& limits)
{
    std::shared_ptr<const SchemaValidator> validator = std::make_shared<SchemaValidator>(schemaDirectory);
    return [validator, limits](std::string_view body, wi::Envelope) {
        SchemaValidator::Verdict verdict;
        {
            const XMLDocument document(body, limits);
            verdict = validator->validate(body, document.root(), messageNode(document.root()), placesShown);
        }
        // Both trees of a large message are many small blocks, which the heap
        // keeps once freed: give their pages back now, not never.
        if (body.size() >= largeMessageBytes) malloc_trim(0);
        if (verdict.count == 0) return;
        // The reason counts and names the first; the detail lists the first few.
        const Violation& first = verdict.first.front();
        SoapFaultParts parts(SoapFaultCode::Sender,
                             "the request breaks the schema in " + std::to_string(verdict.count) +
                                 (verdict.count == 1 ? " place" : " places") + ", first at line " +
                                 std::to_string(first.line) + ", column " + std::to_string(first.column) + ": " +
                                 first.message);
        parts.detailXml = placesMarkup(verdict.first, verdict.count);
        throw SoapFault(std::move(parts));
    };
}

} // namespace wixml
