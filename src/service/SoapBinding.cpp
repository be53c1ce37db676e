#include "SoapBinding.hpp"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

constexpr OperationInfo operations[] = {
    {Operation::Load, "load", "LoadWorkInstructionDocInput", "LoadedObjectsResponse",
     "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/load"},
    {Operation::Save, "save", "SaveWorkInstructionDocInput", "SavedObjectsResponse",
     "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/save"},
};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

const OperationInfo& operationInfo(Operation operation)
{
    return operations[static_cast<int>(operation)];
}

const OperationInfo* operationOfRequest(std::string_view uri, std::string_view name)
{
    if (uri != NamespaceUri) return nullptr;
    for (const OperationInfo& info : operations) {
        if (name == info.requestElement) return &info;
    }
    return nullptr;
}

const OperationInfo* operationOfAction(std::string_view action)
{
    for (const OperationInfo& info : operations) {
        if (action == info.action) return &info;
    }
    return nullptr;
}

std::optional<SoapVersion> MediaType::carries() const
{
    if (name == "text/xml") return SoapVersion::Soap11;
    if (name == "application/soap+xml") return SoapVersion::Soap12;
    if (name == "application/xml") return SoapVersion::None;
    return std::nullopt;
}

bool MediaType::isXml() const
{
    return carries() || (name.size() > 4 && name.compare(name.size() - 4, 4, "+xml") == 0);
}

MediaType parseMediaType(std::string_view header)
{
    MediaType media;
    std::size_t end = header.find(';');
    media.name = lowered(trimmed(header.substr(0, end)));
    while (end != std::string_view::npos) {
        const std::size_t start = end + 1;
        end = header.find(';', start);
        const std::string_view parameter = trimmed(header.substr(start, end == std::string_view::npos ? end : end - start));
        const auto equals = parameter.find('=');
        if (equals != std::string_view::npos && sameIgnoringCase(trimmed(parameter.substr(0, equals)), "action")) {
            media.action = unquoted(parameter.substr(equals + 1));
        }
    }
    return media;
}

const char* contentTypeOf(SoapVersion version)
{
    return version == SoapVersion::Soap12 ? "application/soap+xml; charset=utf-8" : "text/xml; charset=utf-8";
}

std::string requestContentType(SoapVersion version, std::string_view action)
{
    std::string type = contentTypeOf(version);
    if (version == SoapVersion::Soap12) type.append("; action=\"").append(action).append("\"");
    return type;
}

bool isToken(std::string_view text)
{
    if (text.empty()) return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        const bool alnum = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        if (!alnum && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string unquoted(std::string_view text)
{
    text = trimmed(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return std::string(text);
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lower(x) == lower(y);
           });
}

// A worker more than the cores it may run on waits for a time slice, which
// showed as a p99 of a scheduler tick under load.
unsigned usableCores()
{
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&cores));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
