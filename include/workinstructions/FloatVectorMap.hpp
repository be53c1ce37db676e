#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// An array property entry: a key and float values, each written as a "value" child element.
class WI_API FloatVectorMap : public BaseObject {
    WI_SCHEMA_CLASS(FloatVectorMap)

public:
    /// An entry holding value under key.
    FloatVectorMap(const std::string& key, const std::vector<float>& value) : FloatVectorMap()
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
    const std::vector<float>& getValueArray() const { return value; }
    void setValueArray(const std::vector<float>& entries) { value = entries; }
    void addValue(const float& entry) { value.push_back(entry); }
    ///@}

private:
    std::string key;
    std::vector<float> value;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
