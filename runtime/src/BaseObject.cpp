#include "kvsoa/BaseObject.hpp"

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "kvsoa/Monitor.hpp"
#include "kvsoa/XmlStream.hpp"

namespace Kavella::Soa::Common::Xml {

namespace {

// Every object keeps a pointer to one shared copy of its namespace text; the
// texts live as long as the process. The map is only touched under the mutex;
// the per-thread entry spares a run of objects in one namespace the lock.
const std::string* internedText(const char* uri)
{
    thread_local const std::string* lastUsed = nullptr;
    if (lastUsed && std::strcmp(lastUsed->c_str(), uri) == 0) return lastUsed;

    static std::mutex mutex;
    // Never destroyed: objects in other static storage may outlive any destructor order.
    static auto* interned = new std::unordered_map<std::string, std::unique_ptr<std::string>>();
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = (*interned)[uri];
    if (!slot) slot = std::make_unique<std::string>(uri);
    lastUsed = slot.get();
    return lastUsed;
}

thread_local std::size_t collectionDepth = BaseObject::defaultCollectionDepth;

// Sets this thread's collection limit for one scope.
class CollectionDepthScope {
public:
    explicit CollectionDepthScope(std::size_t limit) : m_previous(collectionDepth) { collectionDepth = limit; }
    ~CollectionDepthScope() { collectionDepth = m_previous; }
    CollectionDepthScope(const CollectionDepthScope&) = delete;
    CollectionDepthScope& operator=(const CollectionDepthScope&) = delete;

private:
    std::size_t m_previous;
};

} // namespace

std::size_t BaseObject::collectionDepthLimit() noexcept
{
    return collectionDepth;
}

BaseObject::InternedNamespace BaseObject::internNamespace(const char* uri)
{
    return InternedNamespace(internedText(uri));
}

BaseObject::BaseObject(const char* namespaceUri) : m_namespace(internedText(namespaceUri)) {}

BaseObject::~BaseObject() = default;

void BaseObject::unref() const noexcept
{
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

bool BaseObject::outputXMLBase(XmlStream& stream, const std::string& elementName, const char* traceName) const
{
    const bool traced = Monitor::isActive();
    if (traced) Monitor::markStart(traceName);

    if (stream.depth() == 0) {
        // A tree deeper than the stream takes cannot be written anyway, and one the
        // caller allowed deeper than the default must not fail here first.
        std::set<std::string> used;
        {
            const CollectionDepthScope limit(stream.maxDepth());
            getNamespaces(used);
        }
        std::vector<std::string> declarations{namespaceUri()};
        for (const auto& uri : used) {
            if (uri != namespaceUri()) declarations.push_back(uri);
        }
        stream.beginElement(elementName, declarations);
    } else {
        stream.beginElement(elementName, {});
    }
    return traced;
}

} // namespace Kavella::Soa::Common::Xml
