#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/SavedSubSTXInfo.hpp"
#include "workinstructions/SavedSTXInfo.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The record of one saved object: its file, the target object and what was modified.
class WI_API SavedObjectInfo : public BaseObject {
    WI_SCHEMA_CLASS(SavedObjectInfo)

public:
    ///@{
    /// The work-instruction file (attribute "workInstructionFile").
    const std::string& getWorkInstructionFile() const { return workInstructionFile; }
    std::string& getWorkInstructionFile() { return workInstructionFile; }
    void setWorkInstructionFile(const std::string& newValue) { workInstructionFile = newValue; }
    ///@}

    ///@{
    /// The target object (child element "targetObject").
    const AutoPtr<ModelObject>& getTargetObject() const { return targetObject; }
    AutoPtr<ModelObject>& getTargetObject() { return targetObject; }
    void setTargetObject(const AutoPtr<ModelObject>& newValue) { targetObject = newValue; }
    ///@}

    ///@{
    /// The DCD entries modified (child elements "modifiedDCDs", one per entry).
    const std::vector<AutoPtr<SavedSubSTXInfo>>& getModifiedDCDArray() const { return modifiedDCDs; }
    void setModifiedDCDArray(const std::vector<AutoPtr<SavedSubSTXInfo>>& entries) { modifiedDCDs = entries; }
    void addModifiedDCD(const AutoPtr<SavedSubSTXInfo>& entry) { modifiedDCDs.push_back(entry); }
    ///@}

    ///@{
    /// The PF entries modified (child elements "modifiedPFs", one per entry).
    const std::vector<AutoPtr<SavedSubSTXInfo>>& getModifiedPFArray() const { return modifiedPFs; }
    void setModifiedPFArray(const std::vector<AutoPtr<SavedSubSTXInfo>>& entries) { modifiedPFs = entries; }
    void addModifiedPF(const AutoPtr<SavedSubSTXInfo>& entry) { modifiedPFs.push_back(entry); }
    ///@}

    ///@{
    /// The symbols (child elements "symbols", one per entry).
    const std::vector<AutoPtr<ModelObject>>& getSymbolArray() const { return symbols; }
    void setSymbolArray(const std::vector<AutoPtr<ModelObject>>& entries) { symbols = entries; }
    void addSymbol(const AutoPtr<ModelObject>& entry) { symbols.push_back(entry); }
    ///@}

    ///@{
    /// The STX entries modified (child elements "modifiedSTXs", one per entry).
    const std::vector<AutoPtr<SavedSTXInfo>>& getModifiedSTXArray() const { return modifiedSTXs; }
    void setModifiedSTXArray(const std::vector<AutoPtr<SavedSTXInfo>>& entries) { modifiedSTXs = entries; }
    void addModifiedSTX(const AutoPtr<SavedSTXInfo>& entry) { modifiedSTXs.push_back(entry); }
    ///@}

private:
    std::string workInstructionFile;
    AutoPtr<ModelObject> targetObject{new ModelObject};
    std::vector<AutoPtr<SavedSubSTXInfo>> modifiedDCDs;
    std::vector<AutoPtr<SavedSubSTXInfo>> modifiedPFs;
    std::vector<AutoPtr<ModelObject>> symbols;
    std::vector<AutoPtr<SavedSTXInfo>> modifiedSTXs;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
