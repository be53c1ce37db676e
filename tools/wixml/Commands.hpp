#pragma once

// The three commands of wixml, once their arguments are parsed. Each returns
// the exit status: 0 all fine, 1 a message was not.

#include <string>
#include <vector>

#include "ClassRegistry.hpp"
#include "Samples.hpp"

namespace wixml {

/// Counts the schema objects made from now on; call before any is made.
void installObjectCounter();

/// Reads every file ("-": standard input) as asClass, or as the class its root
/// element names when asClass is null; one line per file.
int checkFiles(const std::vector<std::string>& files, const SchemaClass* asClass);

/// Reads one message and writes it again to standard output.
int formatFile(const std::string& file, const SchemaClass* asClass, int indent);

int printSample(const Sample& sample, int indent);

} // namespace wixml
