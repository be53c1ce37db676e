#pragma once

#include <atomic>
#include <cstddef>
#include <set>
#include <string>

#include "kvsoa/Export.hpp"

namespace Kavella::Soa::Common::Xml {

class XmlStream;

/// Root of every schema object: its namespace, its reference count and the
/// start of its XML element.
class KVSOA_API BaseObject {
    // Declared in the order of their vtable slots (destructor, reallyClone,
    // getNamespaces): code built against this layout relies on it.
public:
    /// Objects are destroyed by their last AutoPtr (unref), or as any value when not held by one.
    virtual ~BaseObject();

protected:
    /// The copy clone() returns, made by the derived class.
    virtual BaseObject* reallyClone() const = 0;

public:
    /// Adds the namespace URIs that this object and everything below it use.
    virtual void getNamespaces(std::set<std::string>& namespaces) const = 0;

    /// Reference counting for AutoPtr; safe from several threads at once.
    void ref() const noexcept { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    /// Releases one reference; the last destroys the object. Out of line, so the
    /// delete always runs in the library that knows every class's operator delete.
    void unref() const noexcept;
    /// The number of references held now.
    int getRefCount() const noexcept { return m_refCount.load(std::memory_order_relaxed); }

    /// A new copy that no handle holds yet (shallow below the first level), or null.
    BaseObject* clone() const { return reallyClone(); }

    /// How many levels of objects namespace collection follows on this thread
    /// before it gives up with a DomException (a deeper tree, or a cycle): the
    /// stream's writing limit while outputXMLBase collects, else this default.
    static constexpr std::size_t defaultCollectionDepth = 1024;
    /// The limit in force on this thread now.
    static std::size_t collectionDepthLimit() noexcept;

    /// The XML namespace of the object's element.
    const std::string& namespaceUri() const noexcept { return *m_namespace; }

    /// The process's one copy of a namespace text, which objects point to.
    class InternedNamespace {
    public:
        /// The text.
        const std::string& text() const noexcept { return *m_text; }

    private:
        friend class BaseObject;
        explicit InternedNamespace(const std::string* text) noexcept : m_text(text) {}
        const std::string* m_text;
    };
    /// Interns uri (safe from several threads at once). A class that keeps the
    /// result, e.g. in a function-local static, constructs its objects with it
    /// at no cost for the namespace.
    static InternedNamespace internNamespace(const char* uri);

protected:
    /// An object in namespaceUri, held by no handle yet.
    explicit BaseObject(const char* namespaceUri);
    /// An object in a namespace interned before, held by no handle yet.
    explicit BaseObject(InternedNamespace namespaceUri) noexcept : m_namespace(namespaceUri.m_text) {}
    /// A copy carries the namespace over but starts with no reference.
    BaseObject(const BaseObject& other) noexcept : m_namespace(other.m_namespace) {}
    /// Assignment carries the namespace over and keeps the reference count.
    BaseObject& operator=(const BaseObject& other) noexcept
    {
        m_namespace = other.m_namespace;
        return *this;
    }

    /// Begins this object's element under elementName, start tag left open for
    /// attributes. The outermost element declares every namespace the tree uses.
    /// Returns true when a trace listener got the start marker, so the caller
    /// owes Monitor::markEnd(traceName).
    bool outputXMLBase(XmlStream& stream, const std::string& elementName, const char* traceName) const;

private:
    // Interned: thousands of objects share one namespace text.
    const std::string* m_namespace;
    mutable std::atomic<int> m_refCount{0};
};

} // namespace Kavella::Soa::Common::Xml
