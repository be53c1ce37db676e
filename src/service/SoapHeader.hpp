#pragma once

// The SOAP header a client sends: the blocks of its options and of the call,
// each checked before anything is sent, then its UsernameToken, made afresh
// for each call.

#include <string>
#include <vector>

#include "workinstructions/Client.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

/// Throws std::invalid_argument, naming the option as where says ("ClientOptions::soapHeaders"),
/// for a block that is not one well-formed element, or for any block without an envelope.
void checkSoapHeaders(const std::vector<std::string>& blocks, Envelope envelope, const std::string& where);

/// Throws std::invalid_argument for a UsernameToken that cannot be sent to url.
void checkUsernameToken(const UsernameToken& token, Envelope envelope, const std::string& url);

/// The envelope written by writeXml with a Header holding the client's blocks,
/// the call's (call may be null) and the UsernameToken; body as it was when
/// there is nothing to send.
std::string withSoapHeader(std::string body, const ClientOptions& options, const CallOptions* call);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
