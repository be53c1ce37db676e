// What the binding is measured against, on the same bytes in the same run:
// the parser alone, the generic tree alone, and the cheapest ways to move the
// written bytes.

#include <cstring>
#include <ostream>
#include <streambuf>
#include <string_view>

#include "Benchmarks.hpp"
#include "EmptyParse.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace kvsoabench
{

namespace
{

// A parser's own cost: the same text, handlers that do nothing.
template <typename Message>
void benchEmptyParse(benchmark::State& state, Choice choice, bool (*parse)(const std::string&), const char* refused)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    for (auto _ : state) {
        if (!parse(doc.text)) state.SkipWithError(refused);
    }
    countBytes(state, doc);
}

template <typename Message>
void benchExpat(benchmark::State& state, Choice choice)
{
    benchEmptyParse<Message>(state, choice, &parseWithEmptyHandlers, "expat refused the document");
}

template <typename Message>
void benchLibxml2(benchmark::State& state, Choice choice)
{
    benchEmptyParse<Message>(state, choice, &parseWithLibxml2EmptyHandlers, "libxml2 refused the document");
}

template <typename Message>
void benchXmlDocument(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    for (auto _ : state) {
        const ::Kavella::Soa::Common::Xml::XMLDocument parsed(doc.text);
        benchmark::DoNotOptimize(parsed.size());
    }
    countBytes(state, doc);
}

template <typename Message>
void benchMemcpy(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    std::string target(doc.text.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), doc.text.data(), doc.text.size());
        benchmark::ClobberMemory();
    }
    countBytes(state, doc);
}

// Calls f(piece) for each piece the writer produced, in order.
template <typename F>
void forEachPiece(const Document& doc, F f)
{
    const char* data = doc.text.data();
    for (const std::uint32_t size : doc.pieces) {
        f(std::string_view(data, size));
        data += size;
    }
}

template <typename Message>
void benchAppend(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    for (auto _ : state) {
        std::string out;
        forEachPiece(doc, [&](std::string_view piece) { out.append(piece); });
        benchmark::DoNotOptimize(out.data());
    }
    countBytes(state, doc);
}

// An ostream whose buffer appends to a string, as XmlStream's does; each
// piece goes through operator<< with its sentry.
class StringBuffer : public std::streambuf
{
public:
    std::string text;

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof())) text.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override
    {
        text.append(data, static_cast<std::size_t>(size));
        return size;
    }
};

template <typename Message>
void benchOstream(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    for (auto _ : state) {
        StringBuffer buffer;
        std::ostream out(&buffer);
        forEachPiece(doc, [&](std::string_view piece) { out << piece; });
        benchmark::DoNotOptimize(buffer.text.data());
    }
    countBytes(state, doc);
}

} // namespace

template <typename Message>
void registerBaselines(Choice choice)
{
    using Bench = void (*)(benchmark::State&, Choice);
    const std::pair<const char*, Bench> baselines[] = {{"expat", &benchExpat<Message>},
                                                       {"libxml2", &benchLibxml2<Message>},
                                                       {"xmldocument", &benchXmlDocument<Message>},
                                                       {"memcpy", &benchMemcpy<Message>},
                                                       {"append", &benchAppend<Message>},
                                                       {"ostream", &benchOstream<Message>}};
    for (const auto& [name, bench] : baselines)
        sized(benchmark::RegisterBenchmark(benchmarkName<Message>(name, choice).c_str(), bench, choice), choice);
}

template void registerBaselines<SaveWorkInstructionDocInput>(Choice);
template void registerBaselines<LoadedObjectsResponse>(Choice);

} // namespace kvsoabench
