#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A property entry: a key and one bool value, both written as attributes of an empty element.
class WI_API BoolMap : public BaseObject {
    WI_SCHEMA_CLASS(BoolMap)

public:
    /// An entry holding value under key.
    BoolMap(const std::string& key, bool value) : BoolMap()
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
    bool getValue() const { return value; }
    void setValue(bool newValue) { value = newValue; }
    ///@}

private:
    std::string key;
    bool value{false};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
