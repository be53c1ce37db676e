#pragma once

// One filled-in document for each message and for CreateInput, using every
// kind of member, for the tests that break things while they are read.

#include <gtest/gtest.h>

#include <string>

#include "HostileSupport.hpp"

namespace hostile {

/// The body of a CreateInput with every kind of property and a nested compound input.
std::string createInputBody();

struct CreateInputSample {
    using Message = wi::CreateInput;
    static constexpr const char* name = "CreateInput";
    static std::string document();
};
struct LoadRequestSample {
    using Message = wi::LoadWorkInstructionDocInput;
    static constexpr const char* name = "LoadWorkInstructionDocInput";
    static std::string document();
};
struct LoadResponseSample {
    using Message = wi::LoadedObjectsResponse;
    static constexpr const char* name = "LoadedObjectsResponse";
    static std::string document();
};
struct SaveRequestSample {
    using Message = wi::SaveWorkInstructionDocInput;
    static constexpr const char* name = "SaveWorkInstructionDocInput";
    static std::string document();
};
struct SaveResponseSample {
    using Message = wi::SavedObjectsResponse;
    static constexpr const char* name = "SavedObjectsResponse";
    static std::string document();
};

using SampleMessages = ::testing::Types<CreateInputSample, LoadRequestSample, LoadResponseSample, SaveRequestSample,
                                        SaveResponseSample>;

/// The sample with extra inserted just before the root's end tag.
template <typename Sample>
std::string withLastChild(const std::string& extra)
{
    std::string text = Sample::document();
    return text.insert(text.rfind("</wi:"), extra);
}

} // namespace hostile
