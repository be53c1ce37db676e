#include "LimitOptions.hpp"

#include <cerrno>
#include <cstdlib>

namespace wixml {

using ::Kavella::Soa::Common::Xml::XMLReadLimits;

const std::vector<LimitOption>& limitOptions()
{
    static const std::vector<LimitOption> rows{
        {"--max-depth", &XMLReadLimits::maxDepth, "element nesting", "nested deeper than the limit"},
        {"--max-attributes", &XMLReadLimits::maxAttributes,
         "attributes on one element, namespace declarations included", "more attributes than the limit"},
        {"--max-namespaces", &XMLReadLimits::maxNamespaces, "namespace declarations in scope",
         "namespace declarations in scope than the limit"},
        {"--max-name-length", &XMLReadLimits::maxNameLength, "bytes in a name", "a name longer than the limit"},
        {"--max-uri-length", &XMLReadLimits::maxUriLength, "bytes in a namespace URI",
         "a namespace URI longer than the limit"},
        {"--max-names", &XMLReadLimits::maxDistinctNames, "distinct names, prefixes, URIs and targets",
         "more distinct names than the limit"},
    };
    return rows;
}

std::string limitsHelp()
{
    constexpr std::size_t column = 23; // where the descriptions start
    constexpr std::size_t width = 80;
    const XMLReadLimits defaults;
    std::string help = "Limits (a message over one is refused, naming it and its option):\n";
    for (const LimitOption& row : limitOptions()) {
        std::string line = "  " + std::string(row.option) + " N";
        line.append(column - line.size(), ' ');
        const std::string words = std::string(row.help) + " (default " + std::to_string(defaults.*row.field) + ")";
        // Wrapped at spaces, the rest under the first line's words.
        std::size_t start = 0;
        while (start < words.size()) {
            std::size_t end = words.size();
            if (line.size() + (end - start) > width) end = words.rfind(' ', start + (width - line.size()));
            if (end == std::string::npos || end <= start) end = words.size();
            help += line + words.substr(start, end - start) + "\n";
            line.assign(column, ' ');
            start = end + (end < words.size() ? 1 : 0);
        }
    }
    return help;
}

bool readWholeNumber(const std::string& option, const std::string& text, unsigned long long low,
                     unsigned long long high, unsigned long long& value, std::string& problem)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || *end || errno || value < low ||
        value > high) {
        problem = option + " wants a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                  ", not '" + text + "'";
        return false;
    }
    return true;
}

bool readLimitOptions(const std::map<std::string, std::string>& options, XMLReadLimits& limits, std::string& problem)
{
    for (const LimitOption& row : limitOptions()) {
        const auto found = options.find(row.option);
        if (found == options.end()) continue;
        unsigned long long value = 0;
        // Far above any message, and a size_t on every platform.
        if (!readWholeNumber(row.option, found->second, 1, 1ull << 40, value, problem)) return false;
        limits.*row.field = static_cast<std::size_t>(value);
    }
    return true;
}

std::string limitHint(const std::string& message)
{
    for (const LimitOption& row : limitOptions()) {
        if (message.find(row.refusal) != std::string::npos) {
            return std::string(" (raise the limit with ") + row.option + " N)";
        }
    }
    return {};
}

} // namespace wixml
