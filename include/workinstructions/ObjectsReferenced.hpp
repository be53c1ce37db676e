#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// One target of a load request: the object to load and the context to load it in.
class WI_API ObjectsReferenced : public BaseObject {
    WI_SCHEMA_CLASS(ObjectsReferenced)

public:
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

private:
    AutoPtr<ModelObject> targetContext{new ModelObject};
    AutoPtr<ModelObject> targetObject{new ModelObject};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
