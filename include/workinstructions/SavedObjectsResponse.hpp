#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The save reply: the service data of the call (the unprefixed "ServiceData" child).
class WI_API SavedObjectsResponse : public BaseObject {
    WI_SCHEMA_CLASS(SavedObjectsResponse)

public:
    ///@{
    /// The service data of the call: created, updated and deleted objects, partial errors (unprefixed child element "ServiceData").
    const AutoPtr<ServiceData>& getServiceData() const { return serviceData; }
    AutoPtr<ServiceData>& getServiceData() { return serviceData; }
    void setServiceData(const AutoPtr<ServiceData>& newValue) { serviceData = newValue; }
    ///@}

private:
    AutoPtr<ServiceData> serviceData{new ServiceData};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
