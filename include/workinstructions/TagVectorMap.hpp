#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// An array property entry: a key and references to persistent objects, each written as a "value" child element.
class WI_API TagVectorMap : public BaseObject {
    WI_SCHEMA_CLASS(TagVectorMap)

public:
    /// An entry holding value under key.
    TagVectorMap(const std::string& key, const std::vector<AutoPtr<ModelObject>>& value) : TagVectorMap()
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
    /// The referenced objects, in order (child elements "value", one per entry).
    const std::vector<AutoPtr<ModelObject>>& getValueArray() const { return value; }
    void setValueArray(const std::vector<AutoPtr<ModelObject>>& entries) { value = entries; }
    void addValue(const AutoPtr<ModelObject>& entry) { value.push_back(entry); }
    ///@}

private:
    std::string key;
    std::vector<AutoPtr<ModelObject>> value;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
