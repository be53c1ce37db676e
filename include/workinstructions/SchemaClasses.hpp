#pragma once

// Every class of the schema, and X(Class) applied to each name; the messages
// (the schema's global elements) apart too.

#include "workinstructions/BoolMap.hpp"
#include "workinstructions/BoolVectorMap.hpp"
#include "workinstructions/CreateInput.hpp"
#include "workinstructions/CreateInputMap.hpp"
#include "workinstructions/DateMap.hpp"
#include "workinstructions/DateVectorMap.hpp"
#include "workinstructions/DoubleMap.hpp"
#include "workinstructions/DoubleVectorMap.hpp"
#include "workinstructions/FloatMap.hpp"
#include "workinstructions/FloatVectorMap.hpp"
#include "workinstructions/IntMap.hpp"
#include "workinstructions/IntVectorMap.hpp"
#include "workinstructions/LoadWorkInstructionDocInput.hpp"
#include "workinstructions/LoadedObjectInfo.hpp"
#include "workinstructions/LoadedObjectsResponse.hpp"
#include "workinstructions/LoadedSTXInfo.hpp"
#include "workinstructions/LoadedSubSTXInfo.hpp"
#include "workinstructions/ObjectsReferenced.hpp"
#include "workinstructions/SaveWorkInstructionDocInput.hpp"
#include "workinstructions/SavedObjectInfo.hpp"
#include "workinstructions/SavedObjectsResponse.hpp"
#include "workinstructions/SavedSTXInfo.hpp"
#include "workinstructions/SavedSubSTXInfo.hpp"
#include "workinstructions/StringMap.hpp"
#include "workinstructions/StringVectorMap.hpp"
#include "workinstructions/TagMap.hpp"
#include "workinstructions/TagVectorMap.hpp"

#define WI_SCHEMA_CLASSES(X)                                                                               \
    X(StringMap) X(DoubleMap) X(FloatMap) X(IntMap) X(BoolMap) X(DateMap) X(TagMap)                        \
    X(StringVectorMap) X(DoubleVectorMap) X(FloatVectorMap) X(IntVectorMap) X(BoolVectorMap)               \
    X(DateVectorMap) X(TagVectorMap) X(CreateInput) X(CreateInputMap) X(ObjectsReferenced)                 \
    X(LoadWorkInstructionDocInput) X(LoadedSTXInfo) X(LoadedSubSTXInfo) X(LoadedObjectInfo)               \
    X(LoadedObjectsResponse) X(SavedSTXInfo) X(SavedSubSTXInfo) X(SavedObjectInfo)                         \
    X(SaveWorkInstructionDocInput) X(SavedObjectsResponse)

#define WI_MESSAGE_CLASSES(X)                                                                              \
    X(LoadWorkInstructionDocInput) X(LoadedObjectsResponse) X(SaveWorkInstructionDocInput) X(SavedObjectsResponse)
