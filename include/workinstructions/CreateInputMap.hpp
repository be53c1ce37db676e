#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/CreateInput.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// A compound input: a key and the creation inputs of the objects to create under it.
class WI_API CreateInputMap : public BaseObject {
    WI_SCHEMA_CLASS(CreateInputMap)

public:
    /// An entry holding value under key.
    CreateInputMap(const std::string& key, const std::vector<AutoPtr<CreateInput>>& value) : CreateInputMap()
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
    /// The creation inputs under the key, in order (child elements "value", one per entry).
    const std::vector<AutoPtr<CreateInput>>& getValueArray() const { return value; }
    void setValueArray(const std::vector<AutoPtr<CreateInput>>& entries) { value = entries; }
    void addValue(const AutoPtr<CreateInput>& entry) { value.push_back(entry); }
    ///@}

private:
    std::string key;
    std::vector<AutoPtr<CreateInput>> value;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
