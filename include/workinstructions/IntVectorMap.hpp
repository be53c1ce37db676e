#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// An array property entry: a key and int values, each written as a "value" child element.
class WI_API IntVectorMap : public BaseObject {
    WI_SCHEMA_CLASS(IntVectorMap)

public:
    /// An entry holding value under key.
    IntVectorMap(const std::string& key, const std::vector<int>& value) : IntVectorMap()
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
    const std::vector<int>& getValueArray() const { return value; }
    void setValueArray(const std::vector<int>& entries) { value = entries; }
    void addValue(const int& entry) { value.push_back(entry); }
    ///@}

private:
    std::string key;
    std::vector<int> value;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
