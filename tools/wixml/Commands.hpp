#pragma once

// The commands of wixml, once their arguments are parsed. Each returns the
// exit status: 0 all fine, 1 a message was not. Standard output is flushed and
// checked once, by main, for all of them.

#include <optional>
#include <string>
#include <vector>

#include "Classes.hpp"
#include "Samples.hpp"
#include "workinstructions/Compare.hpp"

namespace wixml {

/// Reads every file ("-": standard input) as asClass, or as the class its
/// message element names when asClass is empty; one line per file. Strict: also
/// validates each message against the XML Schema (2 when it cannot be found).
int checkFiles(const std::vector<std::string>& files, wi::ClassView asClass, bool strict,
               const wi::XMLReadLimits& limits);

/// How format writes the message: in the envelope chosen, or (nullopt) in the one it came in.
using EnvelopeChoice = std::optional<wi::Envelope>;

/// Reads one message and writes it again to standard output.
int formatFile(const std::string& file, wi::ClassView asClass, int indent, EnvelopeChoice envelope,
               const wi::XMLReadLimits& limits);

/// Prints the differences between two messages; 0 equal, 1 different, 2 an error.
int diffFiles(const std::string& before, const std::string& after, wi::ClassView asClass, wi::Comparison comparison,
              const wi::XMLReadLimits& limits);

int printSample(const Sample& sample, int indent);

} // namespace wixml
