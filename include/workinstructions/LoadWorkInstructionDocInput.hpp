#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/ObjectsReferenced.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The load request: the targets whose work-instruction documents are to be loaded.
class WI_API LoadWorkInstructionDocInput : public BaseObject {
    WI_SCHEMA_CLASS(LoadWorkInstructionDocInput)

public:
    ///@{
    /// The targets to load (child elements "loadedInfo", one per entry).
    const std::vector<AutoPtr<ObjectsReferenced>>& getLoadedInfoArray() const { return loadedInfo; }
    void setLoadedInfoArray(const std::vector<AutoPtr<ObjectsReferenced>>& entries) { loadedInfo = entries; }
    void addLoadedInfo(const AutoPtr<ObjectsReferenced>& entry) { loadedInfo.push_back(entry); }
    ///@}

private:
    std::vector<AutoPtr<ObjectsReferenced>> loadedInfo;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
