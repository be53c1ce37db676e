#pragma once

// Validation against the XML Schema that we ship: what a peer binding
// generated from it refuses, though our classes accept it by contract.

#include <memory>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "kvsoa/XMLNode.hpp"

namespace wixml {

struct Violation {
    int line;
    int column;
    std::string message;
};

/// The directory holding WorkInstructions.xsd and Base.xsd: the installed one
/// next to the tool, else the source tree's; empty when neither has them.
std::string findSchemaDirectory();

class SchemaValidator {
public:
    /// Throws std::runtime_error when the schema cannot be read.
    explicit SchemaValidator(const std::string& directory);
    ~SchemaValidator();
    SchemaValidator(const SchemaValidator&) = delete;
    SchemaValidator& operator=(const SchemaValidator&) = delete;

    /// Every violation in the element `message` of the document `text`, which
    /// our reader has parsed into `root`; positions are those of our reader.
    std::vector<Violation> validate(std::string_view text, const Kavella::Soa::Common::Xml::XMLNode& root,
                                    const Kavella::Soa::Common::Xml::XMLNode& message) const;

    /// The same, keeping the first `keep` violations, each message cut to
    /// maxMessageBytes, and counting the rest: a message that breaks the
    /// schema at every element costs no more than one that breaks it once.
    struct Verdict {
        std::vector<Violation> first;
        std::size_t count = 0; // all of them, the first included
    };
    static constexpr std::size_t maxMessageBytes = 1024;
    Verdict validate(std::string_view text, const Kavella::Soa::Common::Xml::XMLNode& root,
                     const Kavella::Soa::Common::Xml::XMLNode& message, std::size_t keep) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace wixml
