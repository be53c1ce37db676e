#include "ServeReplies.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "kvsoa/XMLDocument.hpp"
#include "workinstructions/MessageHead.hpp"

namespace wixml {

namespace fs = std::filesystem;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::messageNode;
using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::XMLDocument;

namespace {

// Reply files are the operator's, but a link may still point at a device or
// a FIFO: only a regular file of bounded size is read, and opening never waits.
std::string readReplyFile(const fs::path& file)
{
    const std::string name = file.string();
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        const int error = errno;
        std::error_code ignored;
        if (error == ENOENT && fs::is_symlink(file, ignored)) {
            throw std::runtime_error(name + ": a link to " + fs::read_symlink(file, ignored).string() +
                                     ", which does not exist");
        }
        throw std::runtime_error(name + ": cannot read the file: " + std::strerror(error));
    }
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        throw std::runtime_error(name + ": cannot read the file: " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) throw std::runtime_error(name + ": is a directory, not a file");
    if (!S_ISREG(status.st_mode)) {
        throw std::runtime_error(name + ": is not a regular file (a device, FIFO or socket); replies are read from "
                                        "regular files only");
    }
    const auto tooLarge = [&name] {
        return std::runtime_error(name + ": is larger than " + std::to_string(maxReplyFileBytes >> 20) +
                                  " MiB, the most a reply file may hold");
    };
    if (static_cast<std::uintmax_t>(status.st_size) > maxReplyFileBytes) throw tooLarge();
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::runtime_error(name + ": cannot read the file: " + std::strerror(errno));
        if (got == 0) break;
        if (text.size() + static_cast<std::size_t>(got) > maxReplyFileBytes) throw tooLarge(); // grew meanwhile
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

std::string placeText(const std::string& file, const DomException& error)
{
    std::string text = file;
    if (error.line() > 0) text += ":" + std::to_string(error.line()) + ":" + std::to_string(error.column());
    return text + ": " + error.getMessage();
}

// The file's own fault, answered in whichever version a request comes in.
SoapFault readFaultFile(const fs::path& file)
{
    const std::string text = readReplyFile(file);
    try {
        const XMLDocument document(text);
        messageNode(document.root());
    } catch (const SoapFault& fault) {
        return fault;
    } catch (const DomException& error) {
        throw std::runtime_error(placeText(file.string(), error));
    }
    throw std::runtime_error(file.string() + ": holds no SOAP Fault");
}

template <class Reply>
wi::AutoPtr<Reply> readReplyFile(const fs::path& file, const char* operation, const char* replyName)
{
    const std::string text = readReplyFile(file);
    try {
        // Read whole first, so that a malformed file is called that, whatever it begins with.
        { const XMLDocument document(text); }
        const wi::MessageHead head = wi::peekMessage(text);
        if (head.name != replyName) {
            throw std::runtime_error(file.string() + ": holds " + head.name + ", not the " + operation + " reply " +
                                     replyName);
        }
        return wi::readXml<Reply>(text);
    } catch (const DomException& error) {
        throw std::runtime_error(placeText(file.string(), error));
    }
}

std::string whatRepliesHold(const std::string& bundled)
{
    std::string text = "a replies directory holds load-reply.xml or load-fault.xml, and save-reply.xml or "
                       "save-fault.xml: each operation's reply (bare or in a SOAP envelope), or a SOAP Fault "
                       "answered instead";
    if (!bundled.empty()) text += "; the bundled replies in " + bundled + " may be copied to start from";
    return text;
}

// Present, even as a link to nowhere: a fault file that cannot be read must
// not quietly give way to the reply.
bool present(const fs::path& file)
{
    std::error_code error;
    return fs::symlink_status(file, error).type() != fs::file_type::not_found && !error;
}

bool holdsReplies(const fs::path& directory)
{
    std::error_code ignored;
    return fs::is_regular_file(directory / "load-reply.xml", ignored) &&
           fs::is_regular_file(directory / "save-reply.xml", ignored);
}

template <class Reply>
void readAnswer(const std::string& directory, const std::string& bundled, const char* operation,
                const char* replyName, wi::AutoPtr<Reply>& reply, std::optional<SoapFault>& fault)
{
    const fs::path faultFile = fs::path(directory) / (std::string(operation) + "-fault.xml");
    const fs::path replyFile = fs::path(directory) / (std::string(operation) + "-reply.xml");
    if (present(faultFile)) {
        fault = readFaultFile(faultFile);
    } else if (present(replyFile)) {
        reply = readReplyFile<Reply>(replyFile, operation, replyName);
    } else {
        throw std::runtime_error(directory + " holds neither " + replyFile.filename().string() + " nor " +
                                 faultFile.filename().string() + "; " + whatRepliesHold(bundled));
    }
}

} // namespace

RepliesService::RepliesService(const std::string& directory, const std::string& bundled)
{
    std::error_code error;
    if (!fs::is_directory(directory, error)) {
        throw std::runtime_error(directory + ": no such directory; " + whatRepliesHold(bundled));
    }
    readAnswer(directory, bundled, "load", "LoadedObjectsResponse", m_loadReply, m_loadFault);
    readAnswer(directory, bundled, "save", "SavedObjectsResponse", m_saveReply, m_saveFault);
}

wi::AutoPtr<wi::LoadedObjectsResponse> RepliesService::load(const wi::LoadWorkInstructionDocInput&)
{
    if (m_loadFault) throw *m_loadFault;
    return m_loadReply;
}

wi::AutoPtr<wi::SavedObjectsResponse> RepliesService::save(const wi::SaveWorkInstructionDocInput&)
{
    if (m_saveFault) throw *m_saveFault;
    return m_saveReply;
}

std::string findBundledReplies()
{
    std::vector<fs::path> candidates;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) candidates.push_back(self.parent_path() / WIXML_SCHEMA_FROM_BINDIR / ".." / "replies");
    candidates.push_back(fs::path(WIXML_SOURCE_SCHEMA_DIR) / ".." / "examples");
    for (const fs::path& candidate : candidates) {
        if (holdsReplies(candidate)) return fs::weakly_canonical(candidate, error).string();
    }
    return {};
}

} // namespace wixml
