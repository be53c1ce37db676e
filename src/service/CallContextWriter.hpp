#pragma once

// What the server adds to a handler's context once the envelope's head is
// read: its version, its header blocks, and an identity a token proved.

#include <utility>
#include <vector>

#include "workinstructions/CallContext.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

class CallContextWriter {
public:
    static void setEnvelope(CallContext& context, Envelope envelope,
                            std::vector<::Kavella::Soa::Common::Xml::SoapHeaderBlock> blocks)
    {
        context.m_envelope = envelope;
        context.m_soapHeaderBlocks = std::move(blocks);
    }
    static void setIdentity(CallContext& context, Identity identity) { context.m_identity = std::move(identity); }
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
