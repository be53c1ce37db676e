#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A property entry: a key and one int value, both written as attributes of an empty element.
class WI_API IntMap : public BaseObject {
    WI_SCHEMA_CLASS(IntMap)

public:
    /// An entry holding value under key.
    IntMap(const std::string& key, int value) : IntMap()
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
    int getValue() const { return value; }
    void setValue(int newValue) { value = newValue; }
    ///@}

private:
    std::string key;
    int value{};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
