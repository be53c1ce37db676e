#pragma once

#include <cstddef>
#include <cstdint>

#include "workinstructions/WorkInstructions.hpp"

namespace kvsoabench
{

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;

/// Builds messages the way a client fills them, through setters and adders
/// only. The same seed and record count give the same message, so every run
/// and every tool measures the same bytes.
wi::AutoPtr<wi::SaveWorkInstructionDocInput> makeSaveRequest(std::uint64_t seed, std::size_t records);
wi::AutoPtr<wi::LoadedObjectsResponse> makeLoadReply(std::uint64_t seed, std::size_t records);
/// One record cut down to one entry per array and a few properties: a message
/// of about a kilobyte, where a whole record makes ten.
wi::AutoPtr<wi::SaveWorkInstructionDocInput> makeSmallSaveRequest(std::uint64_t seed);
wi::AutoPtr<wi::LoadedObjectsResponse> makeSmallLoadReply(std::uint64_t seed);

} // namespace kvsoabench
