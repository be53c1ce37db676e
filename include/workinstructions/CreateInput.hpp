#pragma once

#include <string>
#include <vector>

#include "workinstructions/SchemaObject.hpp"
#include "workinstructions/StringMap.hpp"
#include "workinstructions/StringVectorMap.hpp"
#include "workinstructions/DoubleMap.hpp"
#include "workinstructions/DoubleVectorMap.hpp"
#include "workinstructions/FloatMap.hpp"
#include "workinstructions/FloatVectorMap.hpp"
#include "workinstructions/IntMap.hpp"
#include "workinstructions/IntVectorMap.hpp"
#include "workinstructions/BoolMap.hpp"
#include "workinstructions/BoolVectorMap.hpp"
#include "workinstructions/DateMap.hpp"
#include "workinstructions/DateVectorMap.hpp"
#include "workinstructions/TagMap.hpp"
#include "workinstructions/TagVectorMap.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

class CreateInputMap;

/// The description of an object to create: its type, its typed properties and the compound inputs created with it.
class WI_API CreateInput : public BaseObject {
    WI_SCHEMA_CLASS(CreateInput)

public:
    ///@{
    /// The type of the object to create (attribute "type").
    const std::string& getType() const { return type; }
    std::string& getType() { return type; }
    void setType(const std::string& newValue) { type = newValue; }
    ///@}

    ///@{
    /// String properties, one entry per key (child elements "stringProps", one per entry).
    const std::vector<AutoPtr<StringMap>>& getStringPropArray() const { return stringProps; }
    void setStringPropArray(const std::vector<AutoPtr<StringMap>>& entries) { stringProps = entries; }
    void addStringProp(const AutoPtr<StringMap>& entry) { stringProps.push_back(entry); }
    ///@}

    ///@{
    /// String array properties, one entry per key (child elements "stringArrayProps", one per entry).
    const std::vector<AutoPtr<StringVectorMap>>& getStringArrayPropArray() const { return stringArrayProps; }
    void setStringArrayPropArray(const std::vector<AutoPtr<StringVectorMap>>& entries) { stringArrayProps = entries; }
    void addStringArrayProp(const AutoPtr<StringVectorMap>& entry) { stringArrayProps.push_back(entry); }
    ///@}

    ///@{
    /// Double properties, one entry per key (child elements "doubleProps", one per entry).
    const std::vector<AutoPtr<DoubleMap>>& getDoublePropArray() const { return doubleProps; }
    void setDoublePropArray(const std::vector<AutoPtr<DoubleMap>>& entries) { doubleProps = entries; }
    void addDoubleProp(const AutoPtr<DoubleMap>& entry) { doubleProps.push_back(entry); }
    ///@}

    ///@{
    /// Double array properties, one entry per key (child elements "doubleArrayProps", one per entry).
    const std::vector<AutoPtr<DoubleVectorMap>>& getDoubleArrayPropArray() const { return doubleArrayProps; }
    void setDoubleArrayPropArray(const std::vector<AutoPtr<DoubleVectorMap>>& entries) { doubleArrayProps = entries; }
    void addDoubleArrayProp(const AutoPtr<DoubleVectorMap>& entry) { doubleArrayProps.push_back(entry); }
    ///@}

    ///@{
    /// Float properties, one entry per key (child elements "floatProps", one per entry).
    const std::vector<AutoPtr<FloatMap>>& getFloatPropArray() const { return floatProps; }
    void setFloatPropArray(const std::vector<AutoPtr<FloatMap>>& entries) { floatProps = entries; }
    void addFloatProp(const AutoPtr<FloatMap>& entry) { floatProps.push_back(entry); }
    ///@}

    ///@{
    /// Float array properties, one entry per key (child elements "floatArrayProps", one per entry).
    const std::vector<AutoPtr<FloatVectorMap>>& getFloatArrayPropArray() const { return floatArrayProps; }
    void setFloatArrayPropArray(const std::vector<AutoPtr<FloatVectorMap>>& entries) { floatArrayProps = entries; }
    void addFloatArrayProp(const AutoPtr<FloatVectorMap>& entry) { floatArrayProps.push_back(entry); }
    ///@}

    ///@{
    /// Int properties, one entry per key (child elements "intProps", one per entry).
    const std::vector<AutoPtr<IntMap>>& getIntPropArray() const { return intProps; }
    void setIntPropArray(const std::vector<AutoPtr<IntMap>>& entries) { intProps = entries; }
    void addIntProp(const AutoPtr<IntMap>& entry) { intProps.push_back(entry); }
    ///@}

    ///@{
    /// Int array properties, one entry per key (child elements "intArrayProps", one per entry).
    const std::vector<AutoPtr<IntVectorMap>>& getIntArrayPropArray() const { return intArrayProps; }
    void setIntArrayPropArray(const std::vector<AutoPtr<IntVectorMap>>& entries) { intArrayProps = entries; }
    void addIntArrayProp(const AutoPtr<IntVectorMap>& entry) { intArrayProps.push_back(entry); }
    ///@}

    ///@{
    /// Bool properties, one entry per key (child elements "boolProps", one per entry).
    const std::vector<AutoPtr<BoolMap>>& getBoolPropArray() const { return boolProps; }
    void setBoolPropArray(const std::vector<AutoPtr<BoolMap>>& entries) { boolProps = entries; }
    void addBoolProp(const AutoPtr<BoolMap>& entry) { boolProps.push_back(entry); }
    ///@}

    ///@{
    /// Bool array properties, one entry per key (child elements "boolArrayProps", one per entry).
    const std::vector<AutoPtr<BoolVectorMap>>& getBoolArrayPropArray() const { return boolArrayProps; }
    void setBoolArrayPropArray(const std::vector<AutoPtr<BoolVectorMap>>& entries) { boolArrayProps = entries; }
    void addBoolArrayProp(const AutoPtr<BoolVectorMap>& entry) { boolArrayProps.push_back(entry); }
    ///@}

    ///@{
    /// Date properties, one entry per key (child elements "dateProps", one per entry).
    const std::vector<AutoPtr<DateMap>>& getDatePropArray() const { return dateProps; }
    void setDatePropArray(const std::vector<AutoPtr<DateMap>>& entries) { dateProps = entries; }
    void addDateProp(const AutoPtr<DateMap>& entry) { dateProps.push_back(entry); }
    ///@}

    ///@{
    /// Date array properties, one entry per key (child elements "dateArrayProps", one per entry).
    const std::vector<AutoPtr<DateVectorMap>>& getDateArrayPropArray() const { return dateArrayProps; }
    void setDateArrayPropArray(const std::vector<AutoPtr<DateVectorMap>>& entries) { dateArrayProps = entries; }
    void addDateArrayProp(const AutoPtr<DateVectorMap>& entry) { dateArrayProps.push_back(entry); }
    ///@}

    ///@{
    /// Tag properties, one entry per key (child elements "tagProps", one per entry).
    const std::vector<AutoPtr<TagMap>>& getTagPropArray() const { return tagProps; }
    void setTagPropArray(const std::vector<AutoPtr<TagMap>>& entries) { tagProps = entries; }
    void addTagProp(const AutoPtr<TagMap>& entry) { tagProps.push_back(entry); }
    ///@}

    ///@{
    /// Tag array properties, one entry per key (child elements "tagArrayProps", one per entry).
    const std::vector<AutoPtr<TagVectorMap>>& getTagArrayPropArray() const { return tagArrayProps; }
    void setTagArrayPropArray(const std::vector<AutoPtr<TagVectorMap>>& entries) { tagArrayProps = entries; }
    void addTagArrayProp(const AutoPtr<TagVectorMap>& entry) { tagArrayProps.push_back(entry); }
    ///@}

    ///@{
    /// Compound inputs: further objects created with this one, each under a key (child elements "compoundCreateInput", one per entry).
    const std::vector<AutoPtr<CreateInputMap>>& getCompoundCreateInputArray() const { return compoundCreateInput; }
    void setCompoundCreateInputArray(const std::vector<AutoPtr<CreateInputMap>>& entries) { compoundCreateInput = entries; }
    void addCompoundCreateInput(const AutoPtr<CreateInputMap>& entry) { compoundCreateInput.push_back(entry); }
    ///@}

private:
    std::string type;
    std::vector<AutoPtr<StringMap>> stringProps;
    std::vector<AutoPtr<StringVectorMap>> stringArrayProps;
    std::vector<AutoPtr<DoubleMap>> doubleProps;
    std::vector<AutoPtr<DoubleVectorMap>> doubleArrayProps;
    std::vector<AutoPtr<FloatMap>> floatProps;
    std::vector<AutoPtr<FloatVectorMap>> floatArrayProps;
    std::vector<AutoPtr<IntMap>> intProps;
    std::vector<AutoPtr<IntVectorMap>> intArrayProps;
    std::vector<AutoPtr<BoolMap>> boolProps;
    std::vector<AutoPtr<BoolVectorMap>> boolArrayProps;
    std::vector<AutoPtr<DateMap>> dateProps;
    std::vector<AutoPtr<DateVectorMap>> dateArrayProps;
    std::vector<AutoPtr<TagMap>> tagProps;
    std::vector<AutoPtr<TagVectorMap>> tagArrayProps;
    std::vector<AutoPtr<CreateInputMap>> compoundCreateInput;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions

// CreateInputMap holds CreateInputs and is held by them: complete both here.
#include "workinstructions/CreateInputMap.hpp"
