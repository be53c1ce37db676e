#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A property entry: a key and a reference to a persistent object, written as the child element "value".
class WI_API TagMap : public BaseObject {
    WI_SCHEMA_CLASS(TagMap)

public:
    /// An entry holding value under key.
    TagMap(const std::string& key, const AutoPtr<ModelObject>& value) : TagMap()
    {
        this->key = key;
        this->value = value;
    }
    ///@{
    /// The entry's key (attribute "key").
    const std::string& getKey() const { return key; }
    std::string& getKey() { return key; }
    void setKey(const std::string& newValue) { key = newValue; }
    ///@}

    ///@{
    /// The referenced object (child element "value").
    const AutoPtr<ModelObject>& getValue() const { return value; }
    AutoPtr<ModelObject>& getValue() { return value; }
    void setValue(const AutoPtr<ModelObject>& newValue) { value = newValue; }
    ///@}

private:
    std::string key;
    AutoPtr<ModelObject> value{new ModelObject};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
