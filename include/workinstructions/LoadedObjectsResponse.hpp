#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/LoadedObjectInfo.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The load reply: one record per loaded target, then the service data (the unprefixed "ServiceData" child).
class WI_API LoadedObjectsResponse : public BaseObject {
    WI_SCHEMA_CLASS(LoadedObjectsResponse)

public:
    ///@{
    /// One record per loaded target (child elements "loadedObjects", one per entry).
    const std::vector<AutoPtr<LoadedObjectInfo>>& getLoadedObjectArray() const { return loadedObjects; }
    void setLoadedObjectArray(const std::vector<AutoPtr<LoadedObjectInfo>>& entries) { loadedObjects = entries; }
    void addLoadedObject(const AutoPtr<LoadedObjectInfo>& entry) { loadedObjects.push_back(entry); }
    ///@}

    ///@{
    /// The service data of the call: created, updated and deleted objects, partial errors (unprefixed child element "ServiceData").
    const AutoPtr<ServiceData>& getServiceData() const { return serviceData; }
    AutoPtr<ServiceData>& getServiceData() { return serviceData; }
    void setServiceData(const AutoPtr<ServiceData>& newValue) { serviceData = newValue; }
    ///@}

private:
    std::vector<AutoPtr<LoadedObjectInfo>> loadedObjects;
    AutoPtr<ServiceData> serviceData{new ServiceData};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
