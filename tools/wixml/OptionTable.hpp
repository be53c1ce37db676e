#pragma once

// Every option of the commands, once: --help's lines and the manual page's
// OPTIONS entries are both made from these rows, so that neither can name an
// option the other lacks.

#include <string>
#include <string_view>
#include <vector>

namespace wixml {

/// Where a command's help lists an option.
enum class OptionGroup {
    Options,    ///< under "Options:"
    HttpLimits, ///< under serve's "HTTP limits"
};

struct OptionRow {
    const char* name;     ///< "--indent"
    const char* argument; ///< "N"; null for a flag
    const char* commands; ///< the commands that take it, space-separated: "format example"
    OptionGroup group;
    const char* help;     ///< its --help line, wrapped to fit
    /// Its manual page entry in roff, after the name and the commands; null
    /// where an earlier row of the same name gives it.
    const char* manual;
};

const std::vector<OptionRow>& optionRows();

/// The names of command's options that take a value (withValue) or are flags;
/// the reader's limits are not rows here.
std::vector<std::string> optionNames(std::string_view command, bool withValue);

/// The lines of command's options in group, "-h, --help" last under Options.
std::string optionsHelp(std::string_view command, OptionGroup group = OptionGroup::Options);

/// The body of the manual page's OPTIONS section: an entry per option, with
/// the commands that take it; the reader's limits together, as one.
std::string manualOptions();

} // namespace wixml
