#pragma once

#include <string>
#include <string_view>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Export.hpp"
#include "kvsoa/XMLNode.hpp"

namespace Kavella::Soa::Common::Xml {

/// Namespaces of the SOAP envelope, per version.
inline constexpr char Soap11NamespaceUri[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char Soap12NamespaceUri[] = "http://www.w3.org/2003/05/soap-envelope";

enum class SoapVersion { None, Soap11, Soap12 };

/// The SOAP version whose envelope namespace this is; None for any other.
KVSOA_API SoapVersion soapVersionOf(std::string_view namespaceUri) noexcept;
/// The envelope namespace of a version; empty for None.
KVSOA_API const char* soapNamespaceUri(SoapVersion version) noexcept;

/// A SOAP Fault received in place of a message. The texts are those of the
/// fault as sent: SOAP 1.1 faultcode, faultstring and detail; SOAP 1.2
/// Code/Value (each Subcode/Value after a '/'), the first Reason/Text (an
/// English one when there are several) and Detail. The detail is the text
/// inside the detail element and its descendants, whitespace collapsed.
class KVSOA_API SoapFault : public DomException {
public:
    SoapFault(SoapVersion version, std::string code, std::string reason, std::string detail, int line = 0,
              int column = 0);
    ~SoapFault() override;

    SoapVersion version() const noexcept { return m_version; }
    const std::string& code() const noexcept { return m_code; }
    const std::string& reason() const noexcept { return m_reason; }
    const std::string& detail() const noexcept { return m_detail; }

private:
    SoapVersion m_version;
    std::string m_code;
    std::string m_reason;
    std::string m_detail;
};

/// The message of a parsed document: the root itself when it is not a SOAP
/// Envelope, otherwise the one element child of the Body. Header blocks are
/// skipped unless marked mustUnderstand (checkSoapHeader); a Fault in the
/// Body raises SoapFault. Throws DomException, with line and column, for an
/// element named Envelope outside both SOAP namespaces, an Envelope without a
/// Body or with other elements, and a Body with no element, two elements or
/// text beside its element.
KVSOA_API const XMLNode& messageNode(const XMLNode& root);

/// Skips the blocks of a SOAP Header element; throws DomException naming the
/// first block whose mustUnderstand (in the envelope namespace) is "1" or
/// "true": this receiver understands no header, and must not ignore one that
/// is mandatory.
KVSOA_API void checkSoapHeader(const XMLNode& header);

/// Raises the SoapFault that a SOAP Fault element (either version) carries,
/// located at the Fault element.
[[noreturn]] KVSOA_API void throwSoapFault(const XMLNode& fault);

} // namespace Kavella::Soa::Common::Xml
