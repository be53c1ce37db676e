#pragma once

// The names the tool uses of the library, and its classes in the order the
// tool lists them: messages first, as they are the usual roots.

#include <algorithm>
#include <vector>

#include "workinstructions/ClassView.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace wixml {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::Xml::BaseObject;
using ::Kavella::Soa::Common::Xml::XMLNode;
using ::Kavella::Soa::Common::Xml::XmlStream;

/// Every class, the messages first; the first is read when none is named.
inline const std::vector<wi::ClassView>& classesMessagesFirst()
{
    static const std::vector<wi::ClassView> classes = [] {
        std::vector<wi::ClassView> all = wi::schemaClasses();
        std::stable_partition(all.begin(), all.end(), [](const wi::ClassView& view) { return view.isMessage(); });
        return all;
    }();
    return classes;
}

} // namespace wixml
