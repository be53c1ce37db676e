#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/SavedObjectInfo.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The save request: one record per saved object.
class WI_API SaveWorkInstructionDocInput : public BaseObject {
    WI_SCHEMA_CLASS(SaveWorkInstructionDocInput)

public:
    ///@{
    /// One record per saved object (child elements "savedObjects", one per entry).
    const std::vector<AutoPtr<SavedObjectInfo>>& getSavedObjectArray() const { return savedObjects; }
    void setSavedObjectArray(const std::vector<AutoPtr<SavedObjectInfo>>& entries) { savedObjects = entries; }
    void addSavedObject(const AutoPtr<SavedObjectInfo>& entry) { savedObjects.push_back(entry); }
    ///@}

private:
    std::vector<AutoPtr<SavedObjectInfo>> savedObjects;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
