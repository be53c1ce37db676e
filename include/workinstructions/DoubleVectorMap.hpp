#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// An array property entry: a key and double values, each written as a "value" child element.
class WI_API DoubleVectorMap : public BaseObject {
    WI_SCHEMA_CLASS(DoubleVectorMap)

public:
    /// An entry holding value under key.
    DoubleVectorMap(const std::string& key, const std::vector<double>& value) : DoubleVectorMap()
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
    /// The values, in order (child elements "value", one per value).
    const std::vector<double>& getValueArray() const { return value; }
    void setValueArray(const std::vector<double>& entries) { value = entries; }
    void addValue(const double& entry) { value.push_back(entry); }
    ///@}

private:
    std::string key;
    std::vector<double> value;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
