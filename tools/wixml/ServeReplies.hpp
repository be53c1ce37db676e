#pragma once

// The replies folder of `wixml serve`: one Service whose every call answers
// the same reply, or the same fault, read once at start-up.

#include <cstdint>
#include <optional>
#include <string>

#include "kvsoa/Soap.hpp"
#include "workinstructions/Service.hpp"

namespace wixml {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;

/// The largest reply or fault file read.
constexpr std::uintmax_t maxReplyFileBytes = 16u << 20;

class RepliesService : public wi::Service {
public:
    /// The answers of both operations, from DIR/OP-reply.xml, or DIR/OP-fault.xml
    /// when that exists (a link to nowhere included). Only regular files under
    /// maxReplyFileBytes are read. Throws std::runtime_error naming the file at
    /// fault and what is wrong with it; bundled names the directory of the
    /// bundled replies, offered as a start when a file is missing.
    explicit RepliesService(const std::string& directory, const std::string& bundled = {});

    wi::AutoPtr<wi::LoadedObjectsResponse> load(const wi::LoadWorkInstructionDocInput& request) override;
    wi::AutoPtr<wi::SavedObjectsResponse> save(const wi::SaveWorkInstructionDocInput& request) override;

private:
    // Shared by every call: the server only writes them.
    wi::AutoPtr<wi::LoadedObjectsResponse> m_loadReply;
    wi::AutoPtr<wi::SavedObjectsResponse> m_saveReply;
    std::optional<::Kavella::Soa::Common::Xml::SoapFault> m_loadFault;
    std::optional<::Kavella::Soa::Common::Xml::SoapFault> m_saveFault;
};

/// The directory of the replies bundled with the tool: installed beside the
/// schema, else the source tree's examples; empty when neither has them.
std::string findBundledReplies();

} // namespace wixml
