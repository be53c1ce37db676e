#pragma once

// A POST request read in one pass: the envelope judged, the operation chosen
// from the head, and the message read into its request object as it comes.

#include <string>
#include <string_view>

#include "Dispatch.hpp"
#include "SoapBinding.hpp"
#include "TokenJudge.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// What judges the caller once the envelope's head is read.
struct RequestSecurity {
    TokenJudge& tokens;
    bool overTls;
};

/// What the service answers to a POST body in the media type given, which
/// carries some envelope (MediaType::carries).
/// context, when given, goes to the handler (with the envelope's facts added).
ServiceAnswer answerRequest(Service& service, const ServerOptions& options, const MediaType& media,
                            const char* soapAction, std::string_view body, CallContext* context,
                            RequestSecurity security);

/// A fault in a version, with its HTTP status.
ServiceAnswer faultAnswer(SoapVersion version, const ::Kavella::Soa::Common::Xml::SoapFault& fault);
/// The request is at fault: SOAP 1.1's Client, SOAP 1.2's Sender.
ServiceAnswer senderFault(SoapVersion version, std::string reason);
/// The request came in a media type the service does not take (or not for its envelope).
ServiceAnswer mediaFault(SoapVersion version, std::string reason);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
