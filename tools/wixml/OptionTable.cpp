#include "OptionTable.hpp"

#include <algorithm>
#include <cstddef>

#include "LimitOptions.hpp"

namespace wixml {

using ::Kavella::Soa::Common::Xml::XMLReadLimits;

namespace {

constexpr std::size_t helpWidth = 80;

bool takes(const OptionRow& row, std::string_view command)
{
    const std::string_view commands = row.commands;
    std::size_t start = 0;
    while (start < commands.size()) {
        std::size_t end = commands.find(' ', start);
        if (end == std::string_view::npos) end = commands.size();
        if (commands.substr(start, end - start) == command) return true;
        start = end + 1;
    }
    return false;
}

std::string synopsis(const char* name, const char* argument)
{
    return "  " + std::string(name) + (argument ? " " + std::string(argument) : "");
}

// Words wrapped at spaces, the first line after lead, the rest under it.
std::string wrapped(std::string lead, std::size_t column, std::string_view words)
{
    std::string text;
    if (lead.size() + 1 > column) {
        text += lead + "\n";
        lead.clear();
    }
    lead.append(column - lead.size(), ' ');
    std::size_t start = 0;
    while (start < words.size()) {
        std::size_t end = words.size();
        if (lead.size() + (end - start) > helpWidth) end = words.rfind(' ', start + (helpWidth - lead.size()));
        if (end == std::string_view::npos || end <= start) end = words.size();
        text += lead + std::string(words.substr(start, end - start)) + "\n";
        lead.assign(column, ' ');
        start = end + (end < words.size() ? 1 : 0);
    }
    return text;
}

// Dashes on a manual page are written \-.
std::string roff(std::string_view text)
{
    std::string escaped;
    for (const char c : text) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    return escaped;
}

std::string manualName(const char* name, const char* argument)
{
    return argument ? ".BI " + roff(name) + " \" " + argument + "\"\n" : ".B " + roff(name) + "\n";
}

// ".RB ( check ", " serve )": the commands of every row of that name.
std::string manualCommands(std::string_view name)
{
    std::string words;
    for (const OptionRow& row : optionRows()) {
        if (row.name != name) continue;
        words += words.empty() ? "" : " ";
        words += row.commands;
    }
    std::string line = ".RB (";
    std::size_t start = 0;
    while (start < words.size()) {
        std::size_t end = std::min(words.find(' ', start), words.size());
        line += (start == 0 ? " " : " \", \" ") + words.substr(start, end - start);
        start = end + 1;
    }
    return line + " )\n";
}

} // namespace

const std::vector<OptionRow>& optionRows()
{
    static const std::vector<OptionRow> rows{
        {"--strict", nullptr, "check", OptionGroup::Options,
         "also validate each message against the XML Schema installed with the tool; inside an element that breaks "
         "it, the validator reports the first violation only and does not look further in",
         "Also validates each message against the XML Schema installed with the tool\n"
         "and reports the violations: what a peer binding generated from that schema\n"
         "refuses although the classes accept it, such as two value elements in a\n"
         "tagProps, a missing key or type attribute, a child in no namespace or in\n"
         "another one, a repeated targetObject, or text in element-only content.\n"
         "Inside an element whose content breaks the schema the validator reports the\n"
         "first violation only and does not look further in, so a second run after a\n"
         "fix may find more.\n"},
        {"--strict", nullptr, "serve", OptionGroup::Options, "also validate each request against the XML Schema",
         nullptr},
        {"--exact", nullptr, "diff", OptionGroup::Options,
         "compare the values as the texts the library writes for them",
         "Compares values as the texts the library writes for them, so that \\-0 and 0,\n"
         "or one instant in two time zones, are different.\n"},
        {"--as", "CLASS", "check format diff", OptionGroup::Options,
         "read as CLASS; a message must still be CLASS's own element, other classes are read from any element",
         "Reads the message as\n"
         ".IR CLASS ,\n"
         "any of the 27 schema classes (an unknown name is refused with the list of\n"
         "them). A message (LoadWorkInstructionDocInput, LoadedObjectsResponse,\n"
         "SaveWorkInstructionDocInput, SavedObjectsResponse) must still be its own\n"
         "element in the schema namespace; any other class is read from whatever\n"
         "element holds it.\n"},
        {"--indent", "N", "format example", OptionGroup::Options,
         "indent nested elements by N spaces (default 0: compact)",
         "Indents nested elements by\n"
         ".I N\n"
         "spaces, 0 to 99 (default 0: compact).\n"},
        {"--envelope", "KIND", "format", OptionGroup::Options,
         "write the message inside a SOAP envelope: soap11, soap12, or none for the message alone (default: as it "
         "came)",
         "Writes the message inside a SOAP envelope:\n"
         ".BR soap11 ,\n"
         ".BR soap12 ,\n"
         "or\n"
         ".B none\n"
         "for the message alone. By default the message is written as it came.\n"},
        {"--host", "H", "serve", OptionGroup::Options, "the address or name to listen on (default 127.0.0.1)",
         "The address or host name to listen on (default 127.0.0.1); with 0.0.0.0 or\n"
         "::, the WSDL takes the address from the request's Host header.\n"},
        {"--port", "N", "serve", OptionGroup::Options, "the port, 0 for a free one (default 8080)",
         "The port (default 8080); 0 picks a free one.\n"},
        {"--replies", "DIR", "serve", OptionGroup::Options,
         "the directory of the replies and faults (default: the bundled example replies)",
         "The directory of the replies and fault files (default: the bundled example\n"
         "replies, installed under\n"
         ".IR PREFIX/share/kvsoamestypes/replies/ ).\n"},
        {"--threads", "N", "serve", OptionGroup::Options, "worker threads (default: one per core it may run on)",
         "Worker threads (default: one per core the process may run on, as taskset\n"
         "or a cpuset allows).\n"},
        {"--tls-cert", "FILE", "serve", OptionGroup::Options,
         "the server's certificate (PEM), with --tls-key: HTTPS only, TLS 1.2 and 1.3",
         "The server's certificate, a PEM file (its chain after it); with\n"
         ".BR \\-\\-tls\\-key ,\n"
         "the server speaks HTTPS only: TLS 1.2 and 1.3, with forward-secret AEAD suites\n"
         "only. A certificate out of date, or a key that is not its own, is refused at\n"
         "the start, naming the file.\n"},
        {"--tls-key", "FILE", "serve", OptionGroup::Options, "the private key of --tls-cert (PEM, unencrypted)",
         "The private key of\n"
         ".BR \\-\\-tls\\-cert ,\n"
         "an unencrypted PEM file.\n"},
        {"--client-ca", "FILE", "serve", OptionGroup::Options,
         "CA certificates (PEM) that callers' certificates must be signed by (mutual TLS)",
         "CA certificates, a PEM file: every caller must present a certificate they\n"
         "signed (mutual TLS), or is answered 403 before its body is read. Without\n"
         ".BR \\-\\-users ,\n"
         "the certificate's subject is the caller's name in the access log.\n"},
        {"--users", "FILE", "serve", OptionGroup::Options,
         "an htpasswd file of bcrypt entries (htpasswd -B): callers log in with HTTP Basic",
         "An htpasswd file of bcrypt entries, as\n"
         ".B htpasswd \\-B\n"
         "writes them: every POST must carry HTTP Basic credentials of one of its users,\n"
         "or is answered 401 before its body is read, and the attempt is logged with the\n"
         "caller's address and user name. Plain, MD5, SHA\\-1 and crypt entries are\n"
         "refused at the start, naming the file and line. GET /health, /metrics, ?wsdl\n"
         "and ?xsd= stay open. Use it with\n"
         ".BR \\-\\-tls\\-cert :\n"
         "Basic credentials travel in the clear otherwise.\n"},
        {"--token-users", "FILE", "serve", OptionGroup::Options,
         "an htpasswd file (htpasswd -B): every POST carries a WS-Security UsernameToken (PasswordText) of its users",
         "An htpasswd file of bcrypt entries, as for\n"
         ".BR \\-\\-users :\n"
         "every POST must carry a WS\\-Security UsernameToken with a PasswordText of one\n"
         "of its users in a wsse:Security header block, or is answered with the\n"
         "wsse:FailedAuthentication fault, and the cause is logged with the caller's\n"
         "address and user name. Needs\n"
         ".BR \\-\\-tls\\-cert .\n"
         "PasswordDigest tokens need each password in the clear and are refused here;\n"
         "a program of its own serves them through ServerOptions::usernameTokens.\n"},
        {"--metrics", nullptr, "serve", OptionGroup::Options,
         "serve the counters for Prometheus at GET /metrics (the default)",
         "Serves the server's counters at\n"
         ".B GET /metrics\n"
         "in the Prometheus text format 0.0.4 (the default): requests by operation,\n"
         "SOAP version and status, a latency histogram per operation, faults by code,\n"
         "bytes in and out, open connections, the bodies and answers in memory and\n"
         "their budgets, and refusals by cause. Like ?wsdl, it is open to every caller,\n"
         ".BR \\-\\-users\n"
         "or not.\n"},
        {"--no-metrics", nullptr, "serve", OptionGroup::Options, "count nothing and serve no /metrics",
         "Counts nothing and serves no\n"
         ".BR /metrics .\n"},
        {"--max-body", "N", "serve", OptionGroup::HttpLimits,
         "bytes in a request body (default 8388608): 413, before the body is read when its length is declared",
         "Bytes in a request body (default 8388608). A longer declared body is\n"
         "answered 413 before it is read; a chunked one once it has come, and a chunked\n"
         "one past twice the limit is cut.\n"},
        {"--max-header", "N", "serve", OptionGroup::HttpLimits, "bytes of request line and headers (default 16384)",
         "Bytes of request line and headers (default 16384); more is refused with an\n"
         "HTTP error.\n"},
        {"--max-body-memory", "N", "serve", OptionGroup::HttpLimits,
         "bytes for all bodies in flight together (default 134217728, at least --max-body): 503 with Retry-After",
         "Bytes of memory for all request bodies in flight together (default 134217728,\n"
         "and at least\n"
         ".BR \\-\\-max\\-body ).\n"
         "A body's memory is taken as its bytes arrive, never for a declared length\n"
         "alone; a request whose declared body cannot fit beside those in flight is\n"
         "answered 503 with\n"
         ".B Retry\\-After\n"
         "at once, one that outgrows the room left once it has come.\n"},
        {"--max-answer-memory", "N", "serve", OptionGroup::HttpLimits,
         "bytes for all answers waiting to be sent together (default 268435456): 503 with Retry-After",
         "Bytes of memory for all answers made and not yet sent together, which clients\n"
         "that do not read hold (default 268435456); an answer beyond it is replaced by\n"
         "a 503 with\n"
         ".BR Retry\\-After .\n"},
        {"--max-connections", "N", "serve", OptionGroup::HttpLimits,
         "connections open at once (default 256, fewer when the descriptor limit leaves no room for them)",
         "Connections open at once (default 256); more wait to be accepted. The soft\n"
         "descriptor limit (ulimit \\-n) is raised towards the hard one as far as needed;\n"
         "when it still leaves no room for them all, fewer are taken, with a warning, so\n"
         "that the server never runs out of descriptors.\n"},
        {"--read-timeout", "N", "serve", OptionGroup::HttpLimits,
         "seconds for a whole request to arrive, line to last byte (default 30)",
         "Seconds for a whole request to arrive, however steadily it comes (default 30):\n"
         "its line, headers, body, chunk sizes, chunk extensions and trailers, counted\n"
         "from the connection's start or the end of the request before it; then the\n"
         "connection is closed.\n"},
        {"--idle-timeout", "N", "serve", OptionGroup::HttpLimits,
         "seconds a connection may stay silent (default 10)",
         "Seconds a connection may stay silent, between requests or within one\n"
         "(default 10).\n"},
    };
    return rows;
}

std::vector<std::string> optionNames(std::string_view command, bool withValue)
{
    std::vector<std::string> names;
    for (const OptionRow& row : optionRows()) {
        if (takes(row, command) && (row.argument != nullptr) == withValue) names.emplace_back(row.name);
    }
    return names;
}

std::string optionsHelp(std::string_view command, OptionGroup group)
{
    std::vector<const OptionRow*> rows;
    for (const OptionRow& row : optionRows()) {
        if (row.group == group && takes(row, command)) rows.push_back(&row);
    }
    std::size_t column = std::string("  -h, --help").size();
    for (const OptionRow* row : rows) column = std::max(column, synopsis(row->name, row->argument).size());
    column += 2;
    std::string help;
    for (const OptionRow* row : rows) help += wrapped(synopsis(row->name, row->argument), column, row->help);
    if (group == OptionGroup::Options) help += wrapped("  -h, --help", column, "show this help");
    return help;
}

std::string manualOptions()
{
    std::string page;
    for (const OptionRow& row : optionRows()) {
        if (!row.manual) continue;
        page += ".TP\n" + manualName(row.name, row.argument) + manualCommands(row.name) + row.manual;
    }
    // The reader's limits share one entry: they are alike but for what they count.
    const char* separator = ".TP\n";
    for (const LimitOption& limit : limitOptions()) {
        page += separator + manualName(limit.option, "N");
        separator = ".TQ\n";
    }
    page += ".RB ( check \", \" format \", \" diff \", \" serve )\n";
    page += "Raise (or lower) the reader's limits:";
    const XMLReadLimits defaults;
    separator = " ";
    const std::vector<LimitOption>& limits = limitOptions();
    for (std::size_t i = 0; i < limits.size(); ++i) {
        page += separator + roff(limits[i].help) + " (default " + std::to_string(defaults.*limits[i].field) + ")";
        separator = i + 2 == limits.size() ? ", and " : ", ";
    }
    page += ".\nWithin them, reading costs time and memory in proportion to the message; a\n"
            "message over one is refused with an error that names the limit, at the start\n"
            "tag concerned.\n";
    return page;
}

} // namespace wixml
