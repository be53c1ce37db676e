// wixml: checks, formats, compares and shows work-instruction service messages.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Commands.hpp"
#include "LimitOptions.hpp"
#include "OptionTable.hpp"
#include "SchemaCheck.hpp"
#include "ServeOptions.hpp"
#include "ServeRun.hpp"

namespace {

using namespace wixml;

constexpr int usageError = 2;

const char* const toolHelp =
    "Usage: wixml [--help] [--version] COMMAND [ARGS]\n"
    "Checks, formats, compares and shows messages of the work-instruction service (schema 2010-09).\n"
    "\n"
    "Commands:\n"
    "  check    read messages and report whether the library reads them\n"
    "  format   write a message again, compact or indented, in an envelope or not\n"
    "  diff     print the differences between two messages\n"
    "  example  print a sample message\n"
    "  serve    answer requests over HTTP as a stand-in work-instruction service\n"
    "\n"
    "Run 'wixml COMMAND --help' for the options of a command.\n";

std::string checkHelp()
{
    return std::string(
    "Usage: wixml check [--strict] [--as CLASS] [FILE...]\n"
    "Reads each FILE (standard input for none or '-'), a message alone or inside a\n"
    "SOAP 1.1 or 1.2 envelope, as the class that its message element names, and\n"
    "prints one line per file:\n"
    "  FILE: ok: CLASS, N objects[, in a SOAP 1.x envelope]\n"
    "  FILE:LINE:COLUMN: error: MESSAGE      (on standard error)\n"
    "A SOAP fault, a header block marked mustUnderstand and a malformed envelope\n"
    "are errors. The reader takes a missing required attribute or element as empty:\n"
    "each one is a warning on standard error (FILE:LINE:COLUMN: warning: ...),\n"
    "and the file still reads.\n"
    "\n"
    "Options:\n") + optionsHelp("check") + "\n" + limitsHelp() + std::string("\n"
    "Exit status: 0 all files are readable (and valid, with --strict), 1 some are\n"
    "not, 2 usage error, no schema or the output cannot be written.\n");
}

std::string formatHelp()
{
    return std::string(
    "Usage: wixml format [--indent N] [--envelope KIND] [--as CLASS] [FILE]\n"
    "Reads one message, alone or inside a SOAP envelope (standard input for none or\n"
    "'-'), and writes it again to standard output: in the canonical compact form,\n"
    "or indented for reading. A missing required attribute or element is written\n"
    "as empty, with a warning on standard error, as check gives it.\n"
    "\n"
    "Options:\n") + optionsHelp("format") + "\n" + limitsHelp() + std::string("\n"
    "Exit status: 0 written, 1 the message cannot be read, 2 usage error or the output\n"
    "cannot be written.\n");
}

std::string diffHelp()
{
    return std::string(
    "Usage: wixml diff [--exact] [--as CLASS] FILE1 FILE2\n"
    "Reads two messages, alone or inside SOAP envelopes ('-' for standard input),\n"
    "and prints each difference between them as PATH: OLD -> NEW, for example\n"
    "  savedObjects[1].modifiedDCDs[0].objectData.intProps[key=count].value: 42 -> 43\n"
    "Array entries compare in order; an entry or attribute that one side lacks\n"
    "shows as (none). Prefixes, whitespace, the order of children of different\n"
    "kinds and an envelope make no difference, as they make none to the reader.\n"
    "Values compare as their XML Schema types make them equal: numbers by value\n"
    "(-0 equals 0, NaN equals NaN), flags by truth, dateTimes by the instant when\n"
    "both have a time zone (08:00:00+02:00 equals 06:00:00Z) and as local times\n"
    "when neither has one; texts compare exactly.\n"
    "\n"
    "Options:\n") + optionsHelp("diff") + "\n" + limitsHelp() + std::string("\n"
    "Exit status: 0 equal, 1 different, 2 a message cannot be read, usage error or\n"
    "the output cannot be written.\n");
}

std::string serveHelp()
{
    return std::string(
    "Usage: wixml serve [--host H] [--port N] [--replies DIR] [--strict] [--threads N]\n"
    "                   [--no-metrics] [limit options]\n"
    "Answers SOAP 1.1, SOAP 1.2 and bare requests of both operations over HTTP, as a\n"
    "stand-in work-instruction service for testing clients. Prints\n"
    "  listening on http://HOST:PORT/\n"
    "on standard output once it accepts connections, one access-log line per request\n"
    "on standard error, and stops on SIGINT or SIGTERM, letting answers on their way\n"
    "finish.\n"
    "\n"
    "A POST must come as text/xml with a SOAPAction header (SOAP 1.1), as\n"
    "application/soap+xml with or without an action parameter (SOAP 1.2), or, for a\n"
    "bare message, as text/xml or application/xml; a given action must be the\n"
    "operation's, as the WSDL binds it. The request is read as the operation's class\n"
    "and answered with DIR/load-reply.xml or DIR/save-reply.xml, in the request's\n"
    "SOAP version (a bare request gets a bare reply). When DIR/load-fault.xml or\n"
    "DIR/save-fault.xml exists, holding a SOAP Fault of either version, that\n"
    "operation answers with its code (Client or Server), reason and detail, with\n"
    "HTTP 500. A request that cannot be read, breaks the schema (--strict) or asks\n"
    "for no operation gets a Client fault with the reader's message, line and\n"
    "column, with HTTP 500. GET ?wsdl serves the service description with this\n"
    "address in it, and ?xsd=NAME the schemas it imports. GET /health answers 200\n"
    "while it takes work and 503 once it stops. GET /metrics serves its counters\n"
    "(requests, faults, latencies, bytes, memory, refusals) for Prometheus.\n"
    "\n"
    "Options:\n") + optionsHelp("serve") + "\n"
    "HTTP limits (a request over one is answered with an HTTP error, or cut off):\n" +
    optionsHelp("serve", OptionGroup::HttpLimits) + "\n" + limitsHelp() + std::string("\n"
    "Exit status: 0 stopped by a signal, 2 usage error, no schema, unreadable\n"
    "replies or the address cannot be listened on.\n");
}

std::string exampleHelp()
{
    std::string help =
        "Usage: wixml example [--indent N] NAME\n"
        "Prints a sample message built through the library's API.\n"
        "\n"
        "Names:\n";
    for (const Sample& sample : samples()) {
        help += "  " + std::string(sample.name) + std::string(14 - std::string(sample.name).size(), ' ') +
                sample.className + ": " + sample.description + "\n";
    }
    return help + "\nOptions:\n" + optionsHelp("example");
}

int usage(const std::string& problem, const std::string& command)
{
    std::cerr << "wixml: " << problem << "\nTry 'wixml " << (command.empty() ? "" : command + " ") << "--help'.\n";
    return usageError;
}

struct Arguments {
    std::map<std::string, std::string> options; // "--as" -> "CLASS"; a flag maps to ""
    std::vector<std::string> operands;
    bool help = false;
};

// GNU style: "--name value", "--name=value", "--" ends the options, "-" is an operand.
bool parseArguments(int argc, char** argv, const std::vector<std::string>& valueOptions, Arguments& arguments,
                    std::string& problem, const std::vector<std::string>& flags = {})
{
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument == "-" || argument.rfind("-", 0) != 0) {
            arguments.operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            arguments.help = true;
        } else {
            const auto equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            bool flag = false;
            for (const std::string& option : flags) flag = flag || option == argument;
            if (flag) {
                arguments.options[argument] = "";
                continue;
            }
            bool known = false;
            for (const std::string& option : valueOptions) known = known || option == name;
            if (!known) {
                problem = "unknown option '" + name + "'";
                return false;
            }
            if (equals != std::string::npos) {
                arguments.options[name] = argument.substr(equals + 1);
            } else if (i + 1 < argc) {
                arguments.options[name] = argv[++i];
            } else {
                problem = "option '" + name + "' needs a value";
                return false;
            }
        }
    }
    return true;
}

bool readIndent(const Arguments& arguments, int& indent, std::string& problem)
{
    const auto found = arguments.options.find("--indent");
    if (found == arguments.options.end()) return true;
    unsigned long long spaces = 0;
    if (!readWholeNumber("--indent", found->second, 0, 99, spaces, problem)) return false;
    indent = static_cast<int>(spaces);
    return true;
}

bool readClass(const Arguments& arguments, wi::ClassView& asClass, std::string& problem)
{
    const auto found = arguments.options.find("--as");
    if (found == arguments.options.end()) return true;
    asClass = wi::findClass(found->second);
    if (!asClass) {
        problem = "--as: no class is named '" + found->second + "'; the classes are";
        const char* separator = ": ";
        for (const wi::ClassView& view : classesMessagesFirst()) {
            problem += separator;
            problem += view.name();
            separator = ", ";
        }
        return false;
    }
    return true;
}

/// The value options of a reading command: its own and the limits.
std::vector<std::string> withLimits(std::vector<std::string> options)
{
    for (const LimitOption& limit : limitOptions()) options.push_back(limit.option);
    return options;
}

// A command's options as the table lists them.
bool parseCommand(const char* command, int argc, char** argv, Arguments& arguments, std::string& problem)
{
    return parseArguments(argc, argv, withLimits(optionNames(command, true)), arguments, problem,
                          optionNames(command, false));
}

bool readLimits(const Arguments& arguments, wi::XMLReadLimits& limits, std::string& problem)
{
    return readLimitOptions(arguments.options, limits, problem);
}

bool readEnvelope(const Arguments& arguments, EnvelopeChoice& envelope, std::string& problem)
{
    const auto found = arguments.options.find("--envelope");
    if (found == arguments.options.end()) return true;
    if (found->second == "soap11") {
        envelope = wi::Envelope::Soap11;
    } else if (found->second == "soap12") {
        envelope = wi::Envelope::Soap12;
    } else if (found->second == "none") {
        envelope = wi::Envelope::None;
    } else {
        problem = "--envelope wants soap11, soap12 or none, not '" + found->second + "'";
        return false;
    }
    return true;
}

int runCheck(int argc, char** argv)
{
    Arguments arguments;
    std::string problem;
    wi::ClassView asClass;
    wi::XMLReadLimits limits;
    if (!parseCommand("check", argc, argv, arguments, problem) || !readClass(arguments, asClass, problem) ||
        !readLimits(arguments, limits, problem)) {
        return usage(problem, "check");
    }
    if (arguments.help) {
        std::cout << checkHelp();
        return 0;
    }
    if (arguments.operands.empty()) arguments.operands.push_back("-");
    return checkFiles(arguments.operands, asClass, arguments.options.count("--strict") != 0, limits);
}

int runFormat(int argc, char** argv)
{
    Arguments arguments;
    std::string problem;
    wi::ClassView asClass;
    int indent = 0;
    EnvelopeChoice envelope; // as read
    wi::XMLReadLimits limits;
    if (!parseCommand("format", argc, argv, arguments, problem) ||
        !readClass(arguments, asClass, problem) || !readIndent(arguments, indent, problem) ||
        !readEnvelope(arguments, envelope, problem) || !readLimits(arguments, limits, problem)) {
        return usage(problem, "format");
    }
    if (arguments.help) {
        std::cout << formatHelp();
        return 0;
    }
    if (arguments.operands.size() > 1) return usage("format takes one file at most", "format");
    return formatFile(arguments.operands.empty() ? "-" : arguments.operands.front(), asClass, indent, envelope, limits);
}

int runDiff(int argc, char** argv)
{
    Arguments arguments;
    std::string problem;
    wi::ClassView asClass;
    wi::XMLReadLimits limits;
    if (!parseCommand("diff", argc, argv, arguments, problem) || !readClass(arguments, asClass, problem) ||
        !readLimits(arguments, limits, problem)) {
        return usage(problem, "diff");
    }
    if (arguments.help) {
        std::cout << diffHelp();
        return 0;
    }
    if (arguments.operands.size() != 2) return usage("diff wants two files", "diff");
    const wi::Comparison comparison =
        arguments.options.count("--exact") ? wi::Comparison::Texts : wi::Comparison::Values;
    return diffFiles(arguments.operands[0], arguments.operands[1], asClass, comparison, limits);
}

int runExample(int argc, char** argv)
{
    Arguments arguments;
    std::string problem;
    int indent = 0;
    if (!parseArguments(argc, argv, {"--indent"}, arguments, problem) || !readIndent(arguments, indent, problem)) {
        return usage(problem, "example");
    }
    if (arguments.help) {
        std::cout << exampleHelp();
        return 0;
    }
    if (arguments.operands.size() != 1) return usage("example wants one NAME", "example");
    const Sample* sample = findSample(arguments.operands.front());
    if (!sample) return usage("no example is named '" + arguments.operands.front() + "'", "example");
    return printSample(*sample, indent);
}

int runServe(int argc, char** argv)
{
    Arguments arguments;
    std::string problem;
    ServeOptions options;
    std::vector<std::string> valueOptions;
    for (const char* const* option = serveValueOptions; *option; ++option) valueOptions.push_back(*option);
    if (!parseArguments(argc, argv, withLimits(valueOptions), arguments, problem,
                        {"--strict", "--metrics", "--no-metrics"}) ||
        !readServeOptions(arguments.options, options, problem) || !readLimits(arguments, options.limits, problem)) {
        return usage(problem, "serve");
    }
    if (arguments.help) {
        std::cout << serveHelp();
        return 0;
    }
    if (!arguments.operands.empty()) return usage("serve takes no files", "serve");
    return runServer(options);
}

int run(int argc, char** argv)
{
    if (argc < 2) return usage("no command given", "");
    const std::string command = argv[1];
    if (command == "-h" || command == "--help") {
        std::cout << toolHelp;
        return 0;
    }
    if (command == "--version") {
        const std::string schema = findSchemaDirectory();
        std::cout << "wixml " WIXML_VERSION "\nschema: " << (schema.empty() ? "not found" : schema) << '\n';
        return 0;
    }
    if (command == "check") return runCheck(argc - 2, argv + 2);
    if (command == "format") return runFormat(argc - 2, argv + 2);
    if (command == "example") return runExample(argc - 2, argv + 2);
    if (command == "diff") return runDiff(argc - 2, argv + 2);
    if (command == "serve") return runServe(argc - 2, argv + 2);
    return usage("unknown command '" + command + "'", "");
}

} // namespace

int main(int argc, char** argv)
{
    const int status = run(argc, argv);
    // Standard output may fail only when flushed (a full disk, a closed pipe).
    // Whatever the command found, its answer did not arrive: that is trouble,
    // not "invalid" or "different", which a caller would act on.
    errno = 0;
    if (!std::cout.flush()) {
        const int error = errno;
        std::cerr << "wixml: cannot write to standard output" << (error ? std::string(": ") + std::strerror(error) : "")
                  << '\n';
        return 2;
    }
    return status;
}
