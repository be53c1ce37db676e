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
    explicit DomException(std::string message, int line = 0, int column = 0);
    ~DomException() override;

    const std::string& getMessage() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }

    int line() const noexcept { return m_line; }
    int column() const noexcept { return m_column; }

    /// Records where the error happened, unless a deeper reader already did.
    void locate(int line, int column) noexcept;

private:
    std::string m_message;
    int m_line;
    int m_column;
};

} // namespace Kavella::Soa::Common::Xml
