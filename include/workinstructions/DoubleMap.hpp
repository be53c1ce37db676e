#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A property entry: a key and one double value, both written as attributes of an empty element.
class WI_API DoubleMap : public BaseObject {
    WI_SCHEMA_CLASS(DoubleMap)

public:
    /// An entry holding value under key.
    DoubleMap(const std::string& key, double value) : DoubleMap()
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
    double getValue() const { return value; }
    void setValue(double newValue) { value = newValue; }
    ///@}

private:
    std::string key;
    double value{};
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
