#pragma once

// The whole public face of the common runtime.
#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/BaseObject.hpp"
#include "kvsoa/Conversions.hpp"
#include "kvsoa/DateTime.hpp"
#include "kvsoa/DomException.hpp"
#include "kvsoa/MemoryManager.hpp"
#include "kvsoa/ModelObject.hpp"
#include "kvsoa/Monitor.hpp"
#include "kvsoa/ServiceData.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XMLNode.hpp"
#include "kvsoa/XmlStream.hpp"
