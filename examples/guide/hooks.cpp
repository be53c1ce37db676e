// The process-wide hooks: a MemoryManager that every schema object is
// allocated from, and a MonitorListener that hears each outputXML and parse.

#include <cstdlib>
#include <iostream>
#include <map>
#include <new>
#include <string>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::MemoryManager;
using Kavella::Soa::Common::Monitor;
using Kavella::Soa::Common::MonitorListener;

//! [manager]
// Counts the objects made of each class; the memory itself comes from malloc.
class CountingManager : public MemoryManager {
public:
    void* allocate(std::size_t size, const char* tag) override
    {
        ++made[tag];
        return std::malloc(size);
    }
    void deallocate(void* pointer) override { std::free(pointer); }
    void* placementallocate(std::size_t, void* place) override { return place; }
    void placementdeallocate(void*, void*) override {}

    std::map<std::string, int> made;
};
//! [manager]

//! [listener]
// Prints the markers, indented by nesting, with the class and function only.
class Printer : public MonitorListener {
public:
    void onStart(const std::string& traceName) override { std::cout << std::string(2 * depth++, ' ') << shortName(traceName) << '\n'; }
    void onEnd(const std::string&) override { --depth; }

private:
    static std::string shortName(const std::string& name)
    {
        const auto function = name.rfind("::");
        return name.substr(name.rfind("::", function - 1) + 2);
    }
    int depth = 0;
};
//! [listener]

int main()
{
    //! [install]
    CountingManager manager;
    MemoryManager::setMemoryManager(&manager); // before the first object
    {
        AutoPtr<wi::SavedObjectsResponse> reply = wi::readXml<wi::SavedObjectsResponse>(
            "<SavedObjectsResponse xmlns='http://velmora.com/Schemas/MES/2010-09/WorkInstructions'>"
            "<ServiceData xmlns=''/></SavedObjectsResponse>");

        Printer printer;
        Monitor::setListener(&printer);
        wi::writeXml(*reply);
        Monitor::setListener(nullptr);
    } // the last object goes here, back to the manager
    MemoryManager::setMemoryManager(nullptr);
    for (const auto& [tag, count] : manager.made) std::cout << count << " x " << tag << '\n';
    //! [install]
}
