#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A property entry: a key and one DateTime value, both written as attributes of an empty element.
class WI_API DateMap : public BaseObject {
    WI_SCHEMA_CLASS(DateMap)

public:
    /// An entry holding value under key.
    DateMap(const std::string& key, DateTime value) : DateMap()
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
    DateTime getValue() const { return value; }
    void setValue(DateTime newValue) { value = newValue; }
    ///@}

private:
    std::string key;
    DateTime value;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
