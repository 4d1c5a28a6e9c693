// The XML-RPC reader's time on long texts, many members and deep-but-allowed
// nesting, and the writer streaming a large upload. Each case grows with N so
// that the fitted complexity shows the reader stays linear.

#include "kelopublish/xmlrpc.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace kelo::xmlrpc;

namespace {

std::string Reply(const std::string& value) {
    return "<?xml version=\"1.0\"?><methodResponse><params><param><value>" + value +
           "</value></param></params></methodResponse>";
}

void Read(benchmark::State& state, const std::string& body) {
    for (auto _ : state) {
        Response response;
        std::string error;
        if (!ReadResponse(body, response, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(response);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
    state.SetComplexityN(state.range(0));
}

void LongText(benchmark::State& state) {
    std::string text;
    for (int64_t i = 0; i < state.range(0); ++i) text += "ab&amp;&#233;<![CDATA[x]]>";
    Read(state, Reply("<string>" + text + "</string>"));
}

void ManyMembers(benchmark::State& state) {
    std::string members;
    for (int64_t i = 0; i < state.range(0); ++i)
        members += "<member><name>m" + std::to_string(i) + "</name><value><i4>1</i4></value></member>";
    Read(state, Reply("<struct>" + members + "</struct>"));
}

void ManyNestedArrays(benchmark::State& state) {
    std::string nested = "<i4>1</i4>";
    for (int i = 0; i < 63; ++i) nested = "<array><data><value>" + nested + "</value></data></array>";
    std::string items;
    for (int64_t i = 0; i < state.range(0); ++i) items += "<value>" + nested + "</value>";
    Read(state, Reply("<array><data>" + items + "</data></array>"));
}

class Counted : public ByteSource {
public:
    explicit Counted(uint64_t size) : left_(size) {}
    bool Read(char* buffer, size_t capacity, size_t& got) override {
        got = static_cast<size_t>(std::min<uint64_t>(capacity, left_));
        for (size_t k = 0; k < got; ++k) buffer[k] = static_cast<char>(k);
        left_ -= got;
        return true;
    }

private:
    uint64_t left_;
};

void StreamUpload(benchmark::State& state) {
    const uint64_t size = uint64_t(state.range(0)) * 1024 * 1024;
    std::string buffer(64 * 1024, '\0');
    for (auto _ : state) {
        Request call("metaWeblog.newMediaObject");
        call.String("1").String("ann").String("pw").BeginStruct().Member("bits");
        call.Base64(std::make_unique<Counted>(size), size).EndStruct();
        call.Finish();
        size_t got = 0;
        do {
            if (!call.Read(buffer.data(), buffer.size(), got)) state.SkipWithError(call.error().c_str());
        } while (got > 0);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

} // namespace

BENCHMARK(LongText)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Complexity(benchmark::oN);
BENCHMARK(ManyMembers)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity(benchmark::oN);
BENCHMARK(ManyNestedArrays)->RangeMultiplier(4)->Range(1 << 4, 1 << 10)->Complexity(benchmark::oN);
BENCHMARK(StreamUpload)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
