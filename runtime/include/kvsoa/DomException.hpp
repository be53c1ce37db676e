#pragma once

#include <exception>
#include <string>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common::Xml {

/// The one exception of the runtime and of every schema class: malformed input,
/// a value that does not convert, a text that XML cannot carry, a null handle.
/// Carries the line and column of the element it concerns when known (0 otherwise).
class KVSOA_API DomException : public std::exception {
public:
    /// An error with its message and, when known, the 1-based position it concerns.
    explicit DomException(std::string message, int line = 0, int column = 0);
    /// Out of line, so that the class's type information has one home.
    ~DomException() override;

    /// The message, without position.
    const std::string& getMessage() const noexcept { return m_message; }
    /// The message, as for any std::exception.
    const char* what() const noexcept override { return m_message.c_str(); }

    /// The 1-based line of the element the error concerns; 0 when unknown.
    int line() const noexcept { return m_line; }
    /// The 1-based column (in characters) of that element's start tag; 0 when unknown.
    int column() const noexcept { return m_column; }

    /// Records where the error happened, unless a deeper reader already did.
    void locate(int line, int column) noexcept;

private:
    std::string m_message;
    int m_line;
    int m_column;
};

} // namespace Kavella::Soa::Common::Xml
