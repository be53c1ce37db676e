#pragma once

// Numbers on the command line, and the reader's limits as options: one row each gives the option, the field it
// sets, its help line and the words of the reader's refusal, so that a refusal
// can name the option that raises it.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "kvsoa/XMLEventReader.hpp"

namespace wixml {

struct LimitOption {
    const char* option;
    std::size_t Kavella::Soa::Common::Xml::XMLReadLimits::*field;
    const char* help;    // what it counts, as --help shows it after the default
    const char* refusal; // words of the reader's message when the limit is passed
};

const std::vector<LimitOption>& limitOptions();

/// The "Limits" section of a reading command's help, defaults included.
std::string limitsHelp();

/// Sets limits from the options given ("--max-depth" -> "12"); false with the
/// problem for a value that is not a whole number from 1 to 2^40.
bool readLimitOptions(const std::map<std::string, std::string>& options,
                      Kavella::Soa::Common::Xml::XMLReadLimits& limits, std::string& problem);

/// The one reading of a number on the command line: value from text, digits
/// only, low to high; false with the problem, naming option, otherwise.
bool readWholeNumber(const std::string& option, const std::string& text, unsigned long long low,
                     unsigned long long high, unsigned long long& value, std::string& problem);

/// For a reader's refusal over a limit, how to raise it: " (raise the limit
/// with --max-depth N)"; empty for any other message.
std::string limitHint(const std::string& message);

} // namespace wixml
