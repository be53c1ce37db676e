#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "MessageGenerator.hpp"

namespace kvsoabench
{

using wi::LoadedObjectsResponse;
using wi::SaveWorkInstructionDocInput;

/// The seed of every generated message; change it and every figure changes.
inline constexpr std::uint64_t kSeed = 20100901;

inline constexpr std::size_t kKB = 1000;
inline constexpr std::size_t kMB = 1000 * kKB;

template <typename Message>
struct MessageTraits;
template <>
struct MessageTraits<SaveWorkInstructionDocInput> {
    static constexpr const char* label = "save";
    static constexpr const char* element = "ns1:SaveWorkInstructionDocInput";
    static wi::AutoPtr<SaveWorkInstructionDocInput> make(std::size_t records, bool brief = false)
    {
        return makeSaveRequest(kSeed, records, brief);
    }
};
template <>
struct MessageTraits<LoadedObjectsResponse> {
    static constexpr const char* label = "load";
    static constexpr const char* element = "ns1:LoadedObjectsResponse";
    static wi::AutoPtr<LoadedObjectsResponse> make(std::size_t records, bool brief = false)
    {
        return makeLoadReply(kSeed, records, brief);
    }
};

/// One generated message as text, with the pieces in which the writer handed
/// it to the stream (the baselines append the same pieces).
struct Document {
    std::size_t records = 0;
    bool brief = false; // records of about 1 KB, for documents smaller than one full record
    std::size_t elements = 0;
    std::string text;
    std::vector<std::uint32_t> pieces;
};

/// Writes message under its element name; records each piece when asked.
template <typename Message>
std::string writeText(const Message& message, bool indented, std::vector<std::uint32_t>* pieces = nullptr);

/// The message of about targetBytes (written compact), built once per process;
/// of brief records when one full record would be more than twice as big.
/// The indented document is the same message, written indented.
template <typename Message>
const Document& document(std::size_t targetBytes, bool indented);

/// "100KB", "20MB", "200MB".
std::string sizeLabel(std::size_t bytes);

} // namespace kvsoabench
