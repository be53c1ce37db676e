#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A modified STX entry of a save request: its transient identifier and its object.
class WI_API SavedSTXInfo : public BaseObject {
    WI_SCHEMA_CLASS(SavedSTXInfo)

public:
    ///@{
    /// The transient identifier (attribute "transientId").
    const std::string& getTransientId() const { return transientId; }
    std::string& getTransientId() { return transientId; }
    void setTransientId(const std::string& newValue) { transientId = newValue; }
    ///@}

    ///@{
    /// The object of the STX entry (child element "stxObjectData").
    const AutoPtr<ModelObject>& getStxObjectData() const { return stxObjectData; }
    AutoPtr<ModelObject>& getStxObjectData() { return stxObjectData; }
    void setStxObjectData(const AutoPtr<ModelObject>& newValue) { stxObjectData = newValue; }
    ///@}

private:
    std::string transientId;
    AutoPtr<ModelObject> stxObjectData{new ModelObject};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
