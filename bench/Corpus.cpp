#include "Corpus.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <tuple>

namespace kvsoabench
{

namespace
{

// Keeps what the writer sends, and the size of each piece.
class RecordingBuffer : public std::streambuf
{
public:
    explicit RecordingBuffer(std::vector<std::uint32_t>* pieces) : m_pieces(pieces) {}
    std::string text;

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        text.push_back(traits_type::to_char_type(c));
        record(1);
        return c;
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override
    {
        text.append(data, static_cast<std::size_t>(size));
        record(static_cast<std::uint32_t>(size));
        return size;
    }

private:
    void record(std::uint32_t size)
    {
        if (m_pieces) m_pieces->push_back(size);
    }
    std::vector<std::uint32_t>* m_pieces;
};

std::size_t countElements(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t i = text.find('<'); i != std::string::npos; i = text.find('<', i + 1)) {
        const char next = i + 1 < text.size() ? text[i + 1] : '/';
        count += next != '/' && next != '?' && next != '!';
    }
    return count;
}

template <typename Message>
double bytesPerRecord(bool brief)
{
    // Records vary in size; a sample of the same seed tells the average.
    constexpr std::size_t kSample = 64;
    return static_cast<double>(writeText(*MessageTraits<Message>::make(kSample, brief), false).size()) / kSample;
}

} // namespace

template <typename Message>
std::string writeText(const Message& message, bool indented, std::vector<std::uint32_t>* pieces)
{
    RecordingBuffer buffer(pieces);
    std::ostream target(&buffer);
    wi::XmlStream stream(target);
    stream.setIndent(indented ? 2 : 0);
    message.outputXML(stream, MessageTraits<Message>::element);
    return std::move(buffer.text);
}

template <typename Message>
const Document& document(std::size_t targetBytes, bool indented)
{
    static std::mutex mutex;
    static std::map<std::tuple<std::size_t, bool>, std::unique_ptr<Document>> cache;
    const std::lock_guard<std::mutex> lock(mutex);
    auto& slot = cache[{targetBytes, indented}];
    if (!slot) {
        slot = std::make_unique<Document>();
        slot->brief = bytesPerRecord<Message>(false) > 2.0 * static_cast<double>(targetBytes);
        const double perRecord = bytesPerRecord<Message>(slot->brief);
        const auto records = static_cast<std::size_t>(static_cast<double>(targetBytes) / perRecord + 0.5);
        slot->records = records == 0 ? 1 : records;
        slot->text = writeText(*MessageTraits<Message>::make(slot->records, slot->brief), indented, &slot->pieces);
        slot->elements = countElements(slot->text);
    }
    return *slot;
}

std::string sizeLabel(std::size_t bytes)
{
    return bytes >= kMB ? std::to_string(bytes / kMB) + "MB" : std::to_string(bytes / kKB) + "KB";
}

template std::string writeText(const SaveWorkInstructionDocInput&, bool, std::vector<std::uint32_t>*);
template std::string writeText(const LoadedObjectsResponse&, bool, std::vector<std::uint32_t>*);
template const Document& document<SaveWorkInstructionDocInput>(std::size_t, bool);
template const Document& document<LoadedObjectsResponse>(std::size_t, bool);

} // namespace kvsoabench
