#include "HostileShapes.hpp"
#include "ShapeText.hpp"

#include <algorithm>

#include "kvsoa/Common.hpp"
#include "kvsoa/Soap.hpp"
#include "workinstructions/WorkInstructions.hpp"
#include "workinstructions/XmlIO.hpp"

namespace hostile {

namespace {

using namespace shape_text;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLReadLimits;

using R = ShapeReader;
constexpr SmallOutcome kRead = SmallOutcome::Read;
constexpr SmallOutcome kRefused = SmallOutcome::Refused;
constexpr SmallOutcome kMalformed = SmallOutcome::Malformed;

std::vector<HostileShape> makeShapes()
{
    return {
        // Many attributes on one element: every attribute is checked against
        // those before it.
        {"attributes-on-root", R::Document, [](std::size_t n) { return "<r" + attributes(n) + "/>"; }, kRead},
        {"prefixed-attributes-on-root", R::Document,
         [](std::size_t n) { return "<r xmlns:p=\"urn:p\"" + attributes(n, "p:") + "/>"; }, kRead},
        {"attributes-on-message-root", R::CreateInput, [](std::size_t n) { return createInput(attributes(n), ""); },
         kRead},
        {"attributes-on-skipped-element", R::CreateInput,
         [](std::size_t n) { return skipped("<x" + attributes(n) + "/>"); }, kRead},
        {"prefixed-attributes-on-skipped-element", R::CreateInput,
         [](std::size_t n) { return skipped("<x xmlns:p=\"urn:p\"" + attributes(n, "p:") + "/>"); }, kRead},
        {"attributes-on-model-object", R::CreateInput, [](std::size_t n) { return modelObject(attributes(n), ""); },
         kRead},
        {"prefixed-attributes-on-model-object", R::CreateInput,
         [](std::size_t n) { return modelObject(attributes(n, "base:"), ""); }, kRead},
        {"attributes-in-distinct-namespaces", R::Document,
         [](std::size_t n) {
             return "<r" + repeated(half(n), [](std::size_t i) {
                        return " xmlns:p" + num(i) + "=\"urn:" + num(i) + "\" p" + num(i) + ":a=\"v\"";
                    }) + "/>";
         },
         kRead},

        // Many namespace declarations on one element.
        {"namespace-declarations-on-root", R::Document, [](std::size_t n) { return "<r" + declarations(n) + "/>"; },
         kRead},
        {"namespace-declarations-on-message-root", R::CreateInput,
         [](std::size_t n) { return createInput(declarations(n), "<wi:intProps key=\"k\" value=\"1\"/>"); }, kRead},
        {"namespace-declarations-on-skipped-element", R::CreateInput,
         [](std::size_t n) { return skipped("<x" + declarations(n) + "/>"); }, kRead},
        {"namespace-declarations-on-model-object", R::CreateInput,
         [](std::size_t n) { return modelObject(declarations(n), ""); }, kRead},

        // Many declarations in scope, then many elements whose prefix is found
        // only behind all of them.
        {"namespaces-in-scope-earliest-prefix", R::Document,
         [](std::size_t n) {
             return "<a:r xmlns:a=\"urn:a\"" + declarations(half(n)) + ">" + times(half(n), "<a:e/>") + "</a:r>";
         },
         kRead},
        {"namespaces-in-scope-unprefixed-no-default", R::Document,
         [](std::size_t n) { return "<r" + declarations(half(n)) + ">" + times(half(n), "<e/>") + "</r>"; }, kRead},
        {"namespaces-in-scope-prefixed-attributes", R::Document,
         [](std::size_t n) {
             return "<r xmlns:a=\"urn:a\"" + declarations(half(n)) + ">" + times(half(n), "<e a:x=\"v\"/>") + "</r>";
         },
         kRead},
        {"namespaces-in-scope-message-children", R::CreateInput,
         [](std::size_t n) {
             return createInput(declarations(half(n)), times(half(n), "<wi:intProps key=\"k\" value=\"1\"/>"));
         },
         kRead},
        {"namespaces-in-scope-service-data", R::LoadedObjectsResponse,
         [](std::size_t n) {
             return serviceData("LoadedObjectsResponse", declarations(half(n)), times(half(n), "<created uid=\"c\"/>"));
         },
         kRead},
        {"nested-namespace-declarations", R::Document,
         [](std::size_t n) {
             const std::size_t each = std::max<std::size_t>(1, n / kDeclaringLevels);
             std::string text = "<a:e xmlns:a=\"urn:a\">";
             for (std::size_t level = 0; level < kDeclaringLevels; ++level)
                 text += "<a:e" + declarations(each, "p" + num(level) + "_") + ">";
             return text + times(kDeclaringLevels + 1, "</a:e>");
         },
         kRead},
        {"nested-namespace-declarations-skipped", R::CreateInput,
         [](std::size_t n) {
             const std::size_t each = std::max<std::size_t>(1, n / kDeclaringLevels);
             std::string inner = "<a:x xmlns:a=\"urn:a\">";
             for (std::size_t level = 0; level < kDeclaringLevels; ++level)
                 inner += "<a:x" + declarations(each, "p" + num(level) + "_") + ">";
             return skipped(inner + times(kDeclaringLevels + 1, "</a:x>"));
         },
         kRead},
        {"redeclared-prefix-on-siblings", R::Document,
         [](std::size_t n) { return "<r>" + times(n, "<p:e xmlns:p=\"urn:p\"/>") + "</r>"; }, kRead},
        {"distinct-prefixes-on-siblings", R::Document,
         [](std::size_t n) {
             return "<r>" + repeated(n, [](std::size_t i) {
                        return "<p" + num(i) + ":e xmlns:p" + num(i) + "=\"urn:p\"/>";
                    }) + "</r>";
         },
         kRead},
        {"distinct-default-namespaces-on-siblings", R::Document,
         [](std::size_t n) {
             return "<r>" + repeated(n, [](std::size_t i) { return "<e xmlns=\"urn:d" + num(i) + "\"/>"; }) + "</r>";
         },
         kRead},
        {"distinct-default-namespaces-skipped", R::CreateInput,
         [](std::size_t n) {
             return skipped(repeated(n, [](std::size_t i) { return "<x xmlns=\"urn:d" + num(i) + "\"/>"; }));
         },
         kRead},
        {"distinct-default-namespaces-in-model-object", R::CreateInput,
         [](std::size_t n) {
             return modelObject("", repeated(n, [](std::size_t i) { return "<x xmlns=\"urn:d" + num(i) + "\"/>"; }));
         },
         kRead},
        {"distinct-namespace-uris-on-siblings", R::Document,
         [](std::size_t n) {
             return "<r>" + repeated(n, [](std::size_t i) { return "<p:e xmlns:p=\"urn:d" + num(i) + "\"/>"; }) +
                    "</r>";
         },
         kRead},

        // A long namespace URI used again and again: nothing may cost its
        // length per use.
        {"long-uri-attributes-on-one-element", R::Document,
         [](std::size_t n) {
             return "<r xmlns:p=\"" + longUri(4 * n) + "\"" + attributes(half(n), "p:") + "/>";
         },
         kRead},
        {"long-uri-attributes-on-siblings", R::Document,
         [](std::size_t n) {
             return "<r xmlns:p=\"" + longUri(4 * n) + "\">" + times(half(n), "<e p:a=\"v\"/>") + "</r>";
         },
         kRead},
        {"long-uri-attributes-on-message-children", R::CreateInput,
         [](std::size_t n) {
             return createInput(" xmlns:q=\"" + longUri(4 * n) + "\"",
                                times(half(n), "<wi:intProps key=\"k\" value=\"1\" q:a=\"v\"/>"));
         },
         kRead},
        {"long-uri-elements", R::Document,
         [](std::size_t n) {
             return "<p:r xmlns:p=\"" + longUri(4 * n) + "\">" + times(half(n), "<p:e/>") + "</p:r>";
         },
         kRead},
        {"long-uri-skipped-elements", R::CreateInput,
         [](std::size_t n) { return skipped(times(half(n), "<q:x/>"), " xmlns:q=\"" + longUri(4 * n) + "\""); },
         kRead},
        {"long-uri-elements-in-model-object", R::CreateInput,
         [](std::size_t n) {
             return modelObject("", times(half(n), "<q:x q:a=\"v\"/>"), " xmlns:q=\"" + longUri(4 * n) + "\"");
         },
         kRead},

        // Many distinct names, each remembered by the parser (and by a tree).
        {"distinct-sibling-names", R::Document,
         [](std::size_t n) { return "<r>" + repeated(n, [](std::size_t i) { return element("e" + num(i)); }) + "</r>"; },
         kRead},
        {"distinct-skipped-names", R::CreateInput,
         [](std::size_t n) { return skipped(repeated(n, [](std::size_t i) { return element("x" + num(i)); })); },
         kRead},
        {"distinct-names-in-model-object", R::CreateInput,
         [](std::size_t n) {
             return modelObject("", repeated(n, [](std::size_t i) { return element("x" + num(i)); }));
         },
         kRead},
        {"distinct-attribute-names-on-siblings", R::Document,
         [](std::size_t n) {
             return "<r>" + repeated(n, [](std::size_t i) { return "<e a" + num(i) + "=\"v\"/>"; }) + "</r>";
         },
         kRead},
        {"distinct-attribute-names-skipped", R::CreateInput,
         [](std::size_t n) {
             return skipped(repeated(n, [](std::size_t i) { return "<x a" + num(i) + "=\"v\"/>"; }));
         },
         kRead},
        {"distinct-attribute-names-in-model-object", R::CreateInput,
         [](std::size_t n) {
             return modelObject("", repeated(n, [](std::size_t i) { return "<x a" + num(i) + "=\"v\"/>"; }));
         },
         kRead},
        {"distinct-attribute-names-on-message-children", R::CreateInput,
         [](std::size_t n) {
             // Several names a child, so that the names and not the children make the size.
             constexpr std::size_t perChild = 8;
             return createInput("", repeated(std::max<std::size_t>(1, n / perChild), [](std::size_t i) {
                                    return "<wi:intProps key=\"k\" value=\"1\"" + repeated(perChild, [&](std::size_t j) {
                                               return " a" + num(i * perChild + j) + "=\"v\"";
                                           }) + "/>";
                                }));
         },
         kRead},
        {"distinct-pi-targets", R::Document,
         [](std::size_t n) { return "<r>" + repeated(n, [](std::size_t i) { return "<?t" + num(i) + "?>"; }) + "</r>"; },
         kRead},
        {"distinct-pi-targets-in-message", R::CreateInput,
         [](std::size_t n) { return createInput("", repeated(n, [](std::size_t i) { return "<?t" + num(i) + "?>"; })); },
         kRead},

        // Trees kept whole: of a ModelObject element, of a SOAP envelope, of ServiceData.
        {"empty-siblings", R::Document, [](std::size_t n) { return "<r>" + times(n, "<e/>") + "</r>"; }, kRead},
        {"empty-elements-in-model-object", R::CreateInput, [](std::size_t n) { return modelObject("", times(n, "<x/>")); },
         kRead},
        {"nested-elements-in-model-object", R::CreateInput,
         [](std::size_t n) { return modelObject("", nestedBlocks(n, "<x>", "</x>")); }, kRead},
        {"text-in-model-object", R::CreateInput, [](std::size_t n) { return modelObject("", times(n, "text ")); },
         kRead},
        {"references-in-model-object-text", R::CreateInput,
         [](std::size_t n) { return modelObject("", times(n, "&lt;")); }, kRead},
        {"soap-message-with-unknown-children", R::CreateInput,
         [](std::size_t n) { return soap11("", "", createInput("", times(n, "<wi:x/>"))); }, kRefused},
        {"soap-message-with-many-children", R::CreateInput,
         [](std::size_t n) { return soap11("", "", createInput("", times(n, "<wi:intProps key=\"k\" value=\"1\"/>"))); },
         kRead},
        {"soap-header-blocks", R::CreateInput,
         [](std::size_t n) { return soap11("", times(n, "<h:b/>"), createInput("", "")); }, kRead},
        {"soap-header-blocks-distinct-names", R::CreateInput,
         [](std::size_t n) {
             return soap11("", repeated(n, [](std::size_t i) { return element("h:b" + num(i)); }), createInput("", ""));
         },
         kRead},
        {"soap-body-with-many-messages", R::CreateInput,
         [](std::size_t n) {
             return soap11(" xmlns:wi=\"" + std::string(wi::NamespaceUri) + "\"", "", times(n, "<wi:CreateInput/>"));
         },
         kRefused},
        {"soap-fault-with-many-detail-elements", R::CreateInput,
         [](std::size_t n) { return soap11Fault(times(n, "<d>w</d>")); }, kRefused},
        {"soap-fault-with-long-detail-text", R::CreateInput,
         [](std::size_t n) { return soap11Fault(times(n, "word ")); }, kRefused},
        {"soap12-fault-with-many-reason-texts", R::CreateInput,
         [](std::size_t n) {
             return std::string("<env:Envelope xmlns:env=\"") + Soap12NamespaceUri +
                    "\"><env:Body><env:Fault><env:Code><env:Value>env:Receiver</env:Value></env:Code><env:Reason>" +
                    times(n, "<env:Text xml:lang=\"de\">x</env:Text>") + "</env:Reason></env:Fault></env:Body></env:Envelope>";
         },
         kRefused},
        {"service-data-many-created", R::LoadedObjectsResponse,
         [](std::size_t n) {
             return serviceData("LoadedObjectsResponse", "",
                                repeated(n, [](std::size_t i) { return "<base:created uid=\"c" + num(i) + "\"/>"; }));
         },
         kRead},
        {"service-data-empty-created", R::SavedObjectsResponse,
         [](std::size_t n) {
             return serviceData("SavedObjectsResponse", " xmlns:b=\"" + kBase + "\"", times(n, "<b:created/>"));
         },
         kRead},
        {"service-data-many-partial-errors", R::SavedObjectsResponse,
         [](std::size_t n) {
             return serviceData("SavedObjectsResponse", "",
                                times(n, "<base:partialErrors uid=\"e\" code=\"1\" level=\"3\" message=\"m\"/>"));
         },
         kRead},
        {"service-data-unknown-children", R::SavedObjectsResponse,
         [](std::size_t n) { return serviceData("SavedObjectsResponse", "", times(n, "<x/>")); }, kRefused},

        // Ordinary big messages, for comparison.
        {"many-message-children", R::CreateInput,
         [](std::size_t n) {
             return createInput("", repeated(n, [](std::size_t i) {
                                    return "<wi:intProps key=\"k\" value=\"" + num(i) + "\"/>";
                                }));
         },
         kRead},
        {"many-loaded-objects", R::LoadedObjectsResponse,
         [](std::size_t n) {
             return message("LoadedObjectsResponse", "",
                            times(n, "<wi:loadedObjects workInstructionFile=\"f\" topObjectDisplayName=\"t\" "
                                     "targetObjectTransientId=\"x\"/>"));
         },
         kRead},
        {"many-saved-objects-with-targets", R::SaveWorkInstructionDocInput,
         [](std::size_t n) {
             return message("SaveWorkInstructionDocInput", "",
                            times(n, "<wi:savedObjects workInstructionFile=\"f\"><wi:targetObject uid=\"u\"/>"
                                     "</wi:savedObjects>"));
         },
         kRead},
        {"many-load-inputs", R::LoadWorkInstructionDocInput,
         [](std::size_t n) {
             return message("LoadWorkInstructionDocInput", "",
                            times(n, "<wi:loadedInfo><wi:targetObject uid=\"u\"/></wi:loadedInfo>"));
         },
         kRead},
        {"many-unknown-message-children", R::CreateInput,
         [](std::size_t n) { return createInput("", times(n, "<wi:x/>")); }, kRefused},

        // Markup that makes no element: comments, processing instructions, CDATA, references.
        {"many-comments", R::Document, [](std::size_t n) { return "<r>" + times(n, "<!--c-->") + "</r>"; }, kRead},
        {"many-comments-in-message", R::CreateInput, [](std::size_t n) { return createInput("", times(n, "<!--c-->")); },
         kRead},
        {"many-processing-instructions", R::Document, [](std::size_t n) { return "<r>" + times(n, "<?t d?>") + "</r>"; },
         kRead},
        {"many-cdata-sections", R::Document,
         [](std::size_t n) { return "<r>" + times(n, "<![CDATA[x]]>") + "</r>"; }, kRead},
        {"many-cdata-sections-in-value", R::CreateInput,
         [](std::size_t n) {
             return createInput("", "<wi:stringArrayProps key=\"k\"><wi:value>" + times(n, "<![CDATA[x]]>") +
                                        "</wi:value></wi:stringArrayProps>");
         },
         kRead},
        {"text-split-by-comments", R::Document, [](std::size_t n) { return "<r>" + times(n, "x<!---->") + "</r>"; },
         kRead},
        {"character-references-in-text", R::Document,
         [](std::size_t n) { return "<r>" + times(n, "&#65;&#x42;") + "</r>"; }, kRead},
        {"character-references-in-attribute", R::Document,
         [](std::size_t n) { return "<r a=\"" + times(n, "&#65;&#x42;") + "\"/>"; }, kRead},
        {"amp-references-in-attribute-value", R::CreateInput,
         [](std::size_t n) {
             return createInput("", "<wi:stringProps key=\"k\" value=\"" + times(n, "a&amp;") + "\"/>");
         },
         kRead},
        {"amp-references-in-text-value", R::CreateInput,
         [](std::size_t n) {
             return createInput("", "<wi:stringArrayProps key=\"k\"><wi:value>" + times(n, "a&amp;") +
                                        "</wi:value></wi:stringArrayProps>");
         },
         kRead},
        {"many-crlf-lines", R::Document, [](std::size_t n) { return "<r>\r\n" + times(n, "<e/>\r\n") + "</r>"; },
         kRead},

        // One very long name, URI, value or text.
        {"long-element-name", R::Document, [](std::size_t n) { return element(std::string(n, 'n')); }, kRead},
        {"long-attribute-name", R::Document,
         [](std::size_t n) { return "<r " + std::string(n, 'n') + "=\"v\"/>"; }, kRead},
        {"long-prefix", R::Document,
         [](std::size_t n) {
             const std::string prefix(n, 'p');
             return "<" + prefix + ":r xmlns:" + prefix + "=\"urn:p\"></" + prefix + ":r>";
         },
         kRead},
        {"long-namespace-uri", R::Document, [](std::size_t n) { return "<r xmlns=\"" + longUri(n) + "\"/>"; }, kRead},
        {"long-attribute-value", R::Document,
         [](std::size_t n) { return "<r a=\"" + std::string(n, 'v') + "\"/>"; }, kRead},
        {"long-text", R::Document, [](std::size_t n) { return "<r>" + std::string(n, 't') + "</r>"; }, kRead},
        {"long-comment", R::Document, [](std::size_t n) { return "<r><!--" + std::string(n, 'c') + "--></r>"; },
         kRead},
        {"long-processing-instruction", R::Document,
         [](std::size_t n) { return "<r><?t " + std::string(n, 'd') + "?></r>"; }, kRead},
        {"long-cdata-section", R::Document,
         [](std::size_t n) { return "<r><![CDATA[" + std::string(n, 'c') + "]]></r>"; }, kRead},
        {"long-unknown-child-name", R::CreateInput,
         [](std::size_t n) { return createInput("", element("wi:" + std::string(n, 'n'))); }, kRefused},
        {"long-skipped-element-name", R::CreateInput,
         [](std::size_t n) { return skipped(element(std::string(n, 'n'))); }, kRead},
        {"long-attribute-name-on-model-object", R::CreateInput,
         [](std::size_t n) { return modelObject(" " + std::string(n, 'n') + "=\"v\"", ""); }, kRead},

        // Nesting: up to the depth limit again and again, and past it.
        {"deep-nesting-repeated", R::Document,
         [](std::size_t n) { return "<r>" + nestedBlocks(n, "<e>", "</e>") + "</r>"; }, kRead},
        {"deep-nesting-beyond-limit", R::Document,
         [](std::size_t n) { return times(300 + n, "<e>") + times(300 + n, "</e>"); }, kRefused},
        {"deep-skipped-nesting-repeated", R::CreateInput,
         [](std::size_t n) { return skipped(nestedBlocks(n, "<x>", "</x>")); }, kRead},
        {"deep-nesting-beyond-limit-in-message", R::CreateInput,
         [](std::size_t n) { return skipped(times(300 + n, "<x>") + times(300 + n, "</x>")); }, kRefused},
        {"compound-inputs-nested-repeated", R::CreateInput,
         [](std::size_t n) {
             const std::size_t levels = kBlockDepth / 2;
             const std::size_t chains = std::max<std::size_t>(1, n / levels);
             const std::string chain = times(levels, "<wi:compoundCreateInput key=\"k\"><wi:value type=\"t\">") +
                                       times(levels, "</wi:value></wi:compoundCreateInput>");
             return createInput("", times(chains, chain));
         },
         kRead},

        // An early error, then what would cost more than linear time or
        // memory if the parser went on: nothing after the error is read.
        {"early-error-then-attributes", R::Document,
         [](std::size_t n) { return "<r><e a/><x" + attributes(n) + "/></r>"; }, kMalformed},
        {"early-error-then-distinct-names", R::Document,
         [](std::size_t n) { return "<r><a></b>" + repeated(n, [](std::size_t i) { return element("e" + num(i)); }) + "</r>"; },
         kMalformed},
        {"early-error-then-namespace-declarations", R::Document,
         [](std::size_t n) { return "<r><a></b><x" + declarations(n) + "/></r>"; }, kMalformed},
        {"early-error-then-distinct-names-in-message", R::CreateInput,
         [](std::size_t n) {
             return createInput("", "<wi:stringProps key='k' value='v'/></wi:oops>" +
                                        repeated(n, [](std::size_t i) { return element("e" + num(i)); }));
         },
         kMalformed},
        {"less-than-signs-in-attribute-value", R::Document,
         [](std::size_t n) { return "<e v=\"" + std::string(n, '<') + "\"/>"; }, kMalformed},
        {"nuls-in-text", R::Document, [](std::size_t n) { return "<r>" + std::string(n, '\0') + "</r>"; }, kMalformed},
        {"ebcdic-attributes", R::Document,
         [](std::size_t n) { return ebcdic("<?xml version=\"1.0\" encoding=\"IBM037\"?><r" + attributes(n) + "/>"); },
         kMalformed},

        // Other encodings, decoded before parsing.
        {"utf16-elements-and-text", R::Document,
         [](std::size_t n) { return utf16le("<r>" + times(n, "<e>x</e>") + "</r>"); }, kRead},
        {"latin1-text", R::Document,
         [](std::size_t n) {
             return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>" + times(n, "\xE9t\xE9 ") + "</r>";
         },
         kRead},
    };
}

} // namespace

const std::vector<HostileShape>& hostileShapes()
{
    static const std::vector<HostileShape> shapes = makeShapes();
    return shapes;
}

const char* readerName(ShapeReader reader)
{
    switch (reader) {
    case ShapeReader::Document: return "XMLDocument";
    case ShapeReader::CreateInput: return "CreateInput";
    case ShapeReader::LoadWorkInstructionDocInput: return "LoadWorkInstructionDocInput";
    case ShapeReader::LoadedObjectsResponse: return "LoadedObjectsResponse";
    case ShapeReader::SaveWorkInstructionDocInput: return "SaveWorkInstructionDocInput";
    case ShapeReader::SavedObjectsResponse: return "SavedObjectsResponse";
    }
    return "?";
}

void readShape(ShapeReader reader, std::string_view text)
{
    switch (reader) {
    case ShapeReader::Document: {
        const XMLDocument document(text, XMLReadLimits{});
        return;
    }
    case ShapeReader::CreateInput: wi::readXml<wi::CreateInput>(text); return;
    case ShapeReader::LoadWorkInstructionDocInput: wi::readXml<wi::LoadWorkInstructionDocInput>(text); return;
    case ShapeReader::LoadedObjectsResponse: wi::readXml<wi::LoadedObjectsResponse>(text); return;
    case ShapeReader::SaveWorkInstructionDocInput: wi::readXml<wi::SaveWorkInstructionDocInput>(text); return;
    case ShapeReader::SavedObjectsResponse: wi::readXml<wi::SavedObjectsResponse>(text); return;
    }
}

std::size_t unitsForSize(const HostileShape& shape, std::size_t bytes)
{
    // Sizes are affine in n past the first few units: two probes give the line.
    constexpr std::size_t low = 1000;
    constexpr std::size_t high = 3000;
    const double lowSize = static_cast<double>(shape.make(low).size());
    const double perUnit = (static_cast<double>(shape.make(high).size()) - lowSize) / (high - low);
    if (perUnit <= 0) return low;
    const double units = (static_cast<double>(bytes) - lowSize) / perUnit + low;
    if (units < 1) return 1;
    // Numbered names lengthen with n: one proportional step corrects for it.
    const auto estimate = static_cast<std::size_t>(units + 0.5);
    const double corrected = static_cast<double>(estimate) * static_cast<double>(bytes) /
                             static_cast<double>(shape.make(estimate).size());
    return corrected < 1 ? 1 : static_cast<std::size_t>(corrected + 0.5);
}

} // namespace hostile
