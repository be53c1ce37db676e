#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A property entry: a key and one float value, both written as attributes of an empty element.
class WI_API FloatMap : public BaseObject {
    WI_SCHEMA_CLASS(FloatMap)

public:
    /// An entry holding value under key.
    FloatMap(const std::string& key, float value) : FloatMap()
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
    /// The entry's value (attribute "value").
    float getValue() const { return value; }
    void setValue(float newValue) { value = newValue; }
    ///@}

private:
    std::string key;
    float value{};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
