#include "Commands.hpp"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <system_error>

namespace wixml {

namespace {

using ::Kavella::Soa::Common::MemoryManager;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLDocument;

// Every schema object, the runtime's included, is allocated through the
// installed manager: counting its calls counts the objects a parse makes.
class CountingMemoryManager : public MemoryManager {
public:
    std::size_t allocations = 0;

    void* allocate(std::size_t size, const char*) override
    {
        ++allocations;
        return ::operator new(size);
    }
    void deallocate(void* pointer) override { ::operator delete(pointer); }
    void* placementallocate(std::size_t, void* place) override { return place; }
    void placementdeallocate(void*, void*) override {}
};

CountingMemoryManager counter;

struct Message {
    const SchemaClass* schemaClass = nullptr;
    std::string rootName;
    AutoPtr<BaseObject> object;
    std::size_t objectCount = 0;
};

std::string displayName(const std::string& file)
{
    return file == "-" ? "<stdin>" : file;
}

// False with a reason when the file cannot be read.
bool readInput(const std::string& file, std::string& text, std::string& reason)
{
    if (file == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored)) {
        reason = "is a directory";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        reason = "cannot read the file";
        return false;
    }
    text = content.str();
    return true;
}

// Throws DomException, located at the element concerned when it can be.
Message readMessage(const std::string& text, const SchemaClass* asClass)
{
    const XMLDocument document(text);
    const XMLNode& root = document.root();
    Message message;
    message.rootName = root.name;
    message.schemaClass = asClass;
    if (!asClass) {
        message.schemaClass = findSchemaClass(root.name);
        if (!message.schemaClass) {
            throw DomException("Root element <" + root.name + "> names no class of the schema (use --as CLASS)",
                               root.line, root.column);
        }
        if (root.uri != wi::NamespaceUri) {
            throw DomException("Root element <" + root.name + "> is not in the namespace " + wi::NamespaceUri,
                               root.line, root.column);
        }
    }
    const std::size_t before = counter.allocations;
    message.object = message.schemaClass->make();
    message.schemaClass->parse(*message.object, root);
    message.objectCount = counter.allocations - before;
    return message;
}

std::string writeMessage(const SchemaClass& schemaClass, const BaseObject& object, const std::string& rootName,
                         int indent)
{
    XmlStream stream;
    stream.setIndent(indent);
    // The root is in the schema namespace too, under the prefix the stream declares for it.
    const std::string prefix = stream.getNamespacePrefix(wi::NamespaceUri);
    schemaClass.write(object, stream, prefix + ":" + rootName);
    return stream.str() + "\n";
}

void reportError(const std::string& file, int line, int column, std::string message)
{
    std::cerr << displayName(file);
    if (line > 0) {
        std::cerr << ':' << line << ':' << column;
        // The reader names the place in its message too; once is enough.
        const std::string place = " at line " + std::to_string(line) + ", column " + std::to_string(column);
        const auto found = message.find(place);
        if (found != std::string::npos) message.erase(found, place.size());
    }
    std::cerr << ": error: " << message << '\n';
}

// False after reporting why.
bool loadMessage(const std::string& file, const SchemaClass* asClass, Message& message)
{
    std::string text;
    std::string reason;
    if (!readInput(file, text, reason)) {
        reportError(file, 0, 0, reason);
        return false;
    }
    try {
        message = readMessage(text, asClass);
        return true;
    } catch (const DomException& error) {
        reportError(file, error.line(), error.column(), error.getMessage());
    } catch (const std::bad_alloc&) {
        reportError(file, 0, 0, "out of memory");
    } catch (const std::exception& error) {
        reportError(file, 0, 0, error.what());
    }
    return false;
}

} // namespace

void installObjectCounter()
{
    MemoryManager::setMemoryManager(&counter);
}

int checkFiles(const std::vector<std::string>& files, const SchemaClass* asClass)
{
    int status = 0;
    for (const std::string& file : files) {
        Message message;
        if (!loadMessage(file, asClass, message)) {
            status = 1;
            continue;
        }
        // "N objects" even for one: scripts read these lines.
        std::cout << displayName(file) << ": ok: " << message.schemaClass->name << ", " << message.objectCount
                  << " objects" << std::endl;
    }
    return status;
}

int formatFile(const std::string& file, const SchemaClass* asClass, int indent)
{
    Message message;
    if (!loadMessage(file, asClass, message)) return 1;
    try {
        std::cout << writeMessage(*message.schemaClass, *message.object, message.rootName, indent);
    } catch (const DomException& error) {
        // What the reader accepted but the writer refuses (a tree past its depth limit).
        reportError(file, 0, 0, error.getMessage());
        return 1;
    }
    return 0;
}

int printSample(const Sample& sample, int indent)
{
    const SchemaClass* schemaClass = findSchemaClass(sample.className);
    const AutoPtr<BaseObject> message = sample.build();
    std::cout << writeMessage(*schemaClass, *message, sample.className, indent);
    return 0;
}

} // namespace wixml
