#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// An STX entry of a loaded document: identifiers, its object data and its symbols.
class WI_API LoadedSTXInfo : public BaseObject {
    WI_SCHEMA_CLASS(LoadedSTXInfo)

public:
    ///@{
    /// The transient identifier (attribute "transientId").
    const std::string& getTransientId() const { return transientId; }
    std::string& getTransientId() { return transientId; }
    void setTransientId(const std::string& newValue) { transientId = newValue; }
    ///@}

    ///@{
    /// The work-instruction file (attribute "workInstructionFile").
    const std::string& getWorkInstructionFile() const { return workInstructionFile; }
    std::string& getWorkInstructionFile() { return workInstructionFile; }
    void setWorkInstructionFile(const std::string& newValue) { workInstructionFile = newValue; }
    ///@}

    ///@{
    /// The object of the STX entry (child element "stxObjectData").
    const AutoPtr<ModelObject>& getStxObjectData() const { return stxObjectData; }
    AutoPtr<ModelObject>& getStxObjectData() { return stxObjectData; }
    void setStxObjectData(const AutoPtr<ModelObject>& newValue) { stxObjectData = newValue; }
    ///@}

    ///@{
    /// The symbols (child elements "symbols", one per entry).
    const std::vector<AutoPtr<ModelObject>>& getSymbolArray() const { return symbols; }
    void setSymbolArray(const std::vector<AutoPtr<ModelObject>>& entries) { symbols = entries; }
    void addSymbol(const AutoPtr<ModelObject>& entry) { symbols.push_back(entry); }
    ///@}

private:
    std::string transientId;
    std::string workInstructionFile;
    AutoPtr<ModelObject> stxObjectData{new ModelObject};
    std::vector<AutoPtr<ModelObject>> symbols;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
