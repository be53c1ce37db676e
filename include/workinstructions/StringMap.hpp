#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A property entry: a key and one std::string value, both written as attributes of an empty element.
class WI_API StringMap : public BaseObject {
    WI_SCHEMA_CLASS(StringMap)

public:
    /// An entry holding value under key.
    StringMap(const std::string& key, const std::string& value) : StringMap()
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
    const std::string& getValue() const { return value; }
    std::string& getValue() { return value; }
    void setValue(const std::string& newValue) { value = newValue; }
    ///@}

private:
    std::string key;
    std::string value;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
