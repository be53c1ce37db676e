#include "kvsoa/DomException.hpp"

#include "kvsoa/AutoPtr.hpp"

namespace Kavella::Soa::Common::Xml {

DomException::DomException(std::string message, int line, int column)
    : m_message(std::move(message)), m_line(line), m_column(column)
{
}

DomException::~DomException() = default;

void DomException::locate(int line, int column) noexcept
{
    if (m_line == 0 && line > 0) {
        m_line = line;
        m_column = column;
    }
}

} // namespace Kavella::Soa::Common::Xml

namespace Kavella::Soa::Common::detail {

void throwNullHandle()
{
    throw Xml::DomException("Access through a null AutoPtr handle");
}

} // namespace Kavella::Soa::Common::detail
