#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/CreateInput.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A DCD or PF sub-entry of a loaded document: identifiers and its data as a creation input.
class WI_API LoadedSubSTXInfo : public BaseObject {
    WI_SCHEMA_CLASS(LoadedSubSTXInfo)

public:
    ///@{
    /// The transient identifier (attribute "transientId").
    const std::string& getTransientId() const { return transientId; }
    std::string& getTransientId() { return transientId; }
    void setTransientId(const std::string& newValue) { transientId = newValue; }
    ///@}

    ///@{
    /// The type of the object (attribute "objectType").
    const std::string& getObjectType() const { return objectType; }
    std::string& getObjectType() { return objectType; }
    void setObjectType(const std::string& newValue) { objectType = newValue; }
    ///@}

    ///@{
    /// The persistent identifier (attribute "persistentId").
    const std::string& getPersistentId() const { return persistentId; }
    std::string& getPersistentId() { return persistentId; }
    void setPersistentId(const std::string& newValue) { persistentId = newValue; }
    ///@}

    ///@{
    /// The transient identifier of the owning object (attribute "owningObjectTransientId").
    const std::string& getOwningObjectTransientId() const { return owningObjectTransientId; }
    std::string& getOwningObjectTransientId() { return owningObjectTransientId; }
    void setOwningObjectTransientId(const std::string& newValue) { owningObjectTransientId = newValue; }
    ///@}

    ///@{
    /// The entry's data, as a creation input (child element "objectData").
    const AutoPtr<CreateInput>& getObjectData() const { return objectData; }
    AutoPtr<CreateInput>& getObjectData() { return objectData; }
    void setObjectData(const AutoPtr<CreateInput>& newValue) { objectData = newValue; }
    ///@}

private:
    std::string transientId;
    std::string objectType;
    std::string persistentId;
    std::string owningObjectTransientId;
    AutoPtr<CreateInput> objectData{new CreateInput};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
