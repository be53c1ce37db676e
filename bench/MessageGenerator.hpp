#pragma once

#include <cstddef>
#include <cstdint>

#include "workinstructions/WorkInstructions.hpp"

namespace kvsoabench
{

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;

/// Builds messages the way a client fills them, through setters and adders
/// only. The same seed and record count give the same message, so every run
/// and every tool measures the same bytes. Brief records (about 1 KB) hold one
/// entry of what a record must have and none of the rest.
wi::AutoPtr<wi::SaveWorkInstructionDocInput> makeSaveRequest(std::uint64_t seed, std::size_t records,
                                                             bool brief = false);
wi::AutoPtr<wi::LoadedObjectsResponse> makeLoadReply(std::uint64_t seed, std::size_t records, bool brief = false);

} // namespace kvsoabench
