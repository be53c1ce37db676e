#include "SoapHeader.hpp"

#include <stdexcept>

#include "kvsoa/DomException.hpp"
#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLEventReader.hpp"

#include "UsernameToken.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

namespace xml = ::Kavella::Soa::Common::Xml;

// The reader judges the block; nothing of it is kept.
class Ignore : public xml::XMLEventHandler {
public:
    void startElement(const xml::XMLStartTag&) override {}
    void endElement() override {}
    void characters(std::string_view) override {}
};

const char* envelopeUri(Envelope envelope)
{
    return envelope == Envelope::Soap12 ? xml::Soap12NamespaceUri : xml::Soap11NamespaceUri;
}

} // namespace

void checkSoapHeaders(const std::vector<std::string>& blocks, Envelope envelope, const std::string& where)
{
    for (std::size_t index = 0; index < blocks.size(); ++index) {
        const std::string& block = blocks[index];
        const std::string name = where + "[" + std::to_string(index) + "]";
        if (envelope == Envelope::None) {
            throw std::invalid_argument(name + ": SOAP header blocks need an envelope, not Envelope::None");
        }
        // Within the envelope the block is content: no XML declaration before
        // it, and SOAP forbids processing instructions anywhere.
        if (block.size() < 2 || block[0] != '<' || block[1] == '?' || block[1] == '!') {
            throw std::invalid_argument(name + " must start with its element's start tag");
        }
        if (block.find("<?") != std::string::npos) {
            throw std::invalid_argument(name + " holds a processing instruction, which SOAP forbids");
        }
        try {
            Ignore ignore;
            xml::XMLEventReader().read(block, ignore);
        } catch (const xml::DomException& error) {
            throw std::invalid_argument(name + " is not one well-formed XML element: " + error.getMessage());
        }
    }
}

void checkUsernameToken(const UsernameToken& token, Envelope envelope, const std::string& url)
{
    if (token.user.empty()) return;
    if (envelope == Envelope::None) {
        throw std::invalid_argument("ClientOptions::usernameToken needs an envelope, not Envelope::None");
    }
    if (!token.digest && url.compare(0, 8, "https://") != 0 && url.compare(0, 8, "HTTPS://") != 0) {
        throw std::invalid_argument("ClientOptions::usernameToken: a PasswordText token would show the password "
                                    "to the network over http://; use digest or https://");
    }
}

std::string withSoapHeader(std::string body, const ClientOptions& options, const CallOptions* call)
{
    std::string header;
    for (const std::string& block : options.soapHeaders) header += block;
    if (call) {
        for (const std::string& block : call->soapHeaders) header += block;
    }
    const UsernameToken& token = options.usernameToken;
    if (!token.user.empty()) {
        UsernameTokenParts parts{token.user, token.password, token.digest, {}, {}};
        if (token.digest) {
            parts.nonce = freshNonce();
            parts.created = utcTimestamp(std::chrono::system_clock::now());
        }
        header += usernameTokenBlock(parts, envelopeUri(options.envelope));
    }
    if (header.empty()) return body;
    // writeXml opens with the envelope's start tag, "<prefix:Envelope xmlns:prefix=...>";
    // the Header is its first child, under the same prefix.
    const std::size_t colon = body.find(':');
    const std::size_t startTagEnd = body.find('>');
    if (body.empty() || body[0] != '<' || colon > startTagEnd || startTagEnd == std::string::npos) {
        throw std::logic_error("the request was written without an envelope");
    }
    const std::string prefix = body.substr(1, colon - 1);
    body.insert(startTagEnd + 1, "<" + prefix + ":Header>" + header + "</" + prefix + ":Header>");
    return body;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
