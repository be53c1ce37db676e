#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/LoadedSubSTXInfo.hpp"
#include "workinstructions/LoadedSTXInfo.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The record of one loaded target: its file, names, objects, sub-entries, symbols and STX entries.
class WI_API LoadedObjectInfo : public BaseObject {
    WI_SCHEMA_CLASS(LoadedObjectInfo)

public:
    ///@{
    /// The work-instruction file (attribute "workInstructionFile").
    const std::string& getWorkInstructionFile() const { return workInstructionFile; }
    std::string& getWorkInstructionFile() { return workInstructionFile; }
    void setWorkInstructionFile(const std::string& newValue) { workInstructionFile = newValue; }
    ///@}

    ///@{
    /// The display name of the top object (attribute "topObjectDisplayName").
    const std::string& getTopObjectDisplayName() const { return topObjectDisplayName; }
    std::string& getTopObjectDisplayName() { return topObjectDisplayName; }
    void setTopObjectDisplayName(const std::string& newValue) { topObjectDisplayName = newValue; }
    ///@}

    ///@{
    /// The transient identifier of the target object (attribute "targetObjectTransientId").
    const std::string& getTargetObjectTransientId() const { return targetObjectTransientId; }
    std::string& getTargetObjectTransientId() { return targetObjectTransientId; }
    void setTargetObjectTransientId(const std::string& newValue) { targetObjectTransientId = newValue; }
    ///@}

    ///@{
    /// The context the target object is loaded in (child element "targetContext").
    const AutoPtr<ModelObject>& getTargetContext() const { return targetContext; }
    AutoPtr<ModelObject>& getTargetContext() { return targetContext; }
    void setTargetContext(const AutoPtr<ModelObject>& newValue) { targetContext = newValue; }
    ///@}

    ///@{
    /// The target object (child element "targetObject").
    const AutoPtr<ModelObject>& getTargetObject() const { return targetObject; }
    AutoPtr<ModelObject>& getTargetObject() { return targetObject; }
    void setTargetObject(const AutoPtr<ModelObject>& newValue) { targetObject = newValue; }
    ///@}

    ///@{
    /// The DCD sub-entries loaded (child elements "loadedDCDs", one per entry).
    const std::vector<AutoPtr<LoadedSubSTXInfo>>& getLoadedDCDArray() const { return loadedDCDs; }
    void setLoadedDCDArray(const std::vector<AutoPtr<LoadedSubSTXInfo>>& entries) { loadedDCDs = entries; }
    void addLoadedDCD(const AutoPtr<LoadedSubSTXInfo>& entry) { loadedDCDs.push_back(entry); }
    ///@}

    ///@{
    /// The PF sub-entries loaded (child elements "loadedPFs", one per entry).
    const std::vector<AutoPtr<LoadedSubSTXInfo>>& getLoadedPFArray() const { return loadedPFs; }
    void setLoadedPFArray(const std::vector<AutoPtr<LoadedSubSTXInfo>>& entries) { loadedPFs = entries; }
    void addLoadedPF(const AutoPtr<LoadedSubSTXInfo>& entry) { loadedPFs.push_back(entry); }
    ///@}

    ///@{
    /// The symbols (child elements "symbols", one per entry).
    const std::vector<AutoPtr<ModelObject>>& getSymbolArray() const { return symbols; }
    void setSymbolArray(const std::vector<AutoPtr<ModelObject>>& entries) { symbols = entries; }
    void addSymbol(const AutoPtr<ModelObject>& entry) { symbols.push_back(entry); }
    ///@}

    ///@{
    /// The STX entries loaded (child elements "loadedSTXs", one per entry).
    const std::vector<AutoPtr<LoadedSTXInfo>>& getLoadedSTXArray() const { return loadedSTXs; }
    void setLoadedSTXArray(const std::vector<AutoPtr<LoadedSTXInfo>>& entries) { loadedSTXs = entries; }
    void addLoadedSTX(const AutoPtr<LoadedSTXInfo>& entry) { loadedSTXs.push_back(entry); }
    ///@}

private:
    std::string workInstructionFile;
    std::string topObjectDisplayName;
    std::string targetObjectTransientId;
    AutoPtr<ModelObject> targetContext{new ModelObject};
    AutoPtr<ModelObject> targetObject{new ModelObject};
    std::vector<AutoPtr<LoadedSubSTXInfo>> loadedDCDs;
    std::vector<AutoPtr<LoadedSubSTXInfo>> loadedPFs;
    std::vector<AutoPtr<ModelObject>> symbols;
    std::vector<AutoPtr<LoadedSTXInfo>> loadedSTXs;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
