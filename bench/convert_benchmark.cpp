// Throughput of the Post command's conversion (TrimFinalParagraph, then
// Convert from "\pard") on generated editor bodies.

#include "editor_body.h"

#include "core/codepage.h"
#include "rtfhtml/rtf_html_converter.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ConvertEditorBody(benchmark::State& state) {
    const auto textBytes = static_cast<size_t>(state.range(0));
    const auto pictureBytes = static_cast<size_t>(state.range(1));
    const core::String rtf = core::SingleByteCodePage::Windows1252().Decode(bench::EditorBody(textBytes, pictureBytes));
    for (auto _ : state) {
        core::String html = RtfHtmlConverter().Convert(RtfHtmlConverter::TrimFinalParagraph(rtf), u"\\pard", true);
        benchmark::DoNotOptimize(html.data());
    }
    // Bytes of RTF as the control writes them (one per UTF-16 unit here).
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(rtf.size()));
    state.counters["input_MB"] = static_cast<double>(rtf.size()) / 1e6;
}

constexpr int64_t kPicture = 5'000'000;
BENCHMARK(BM_ConvertEditorBody)
    ->ArgNames({"text", "picture"})
    ->Args({100'000, 0})
    ->Args({1'000'000, 0})
    ->Args({10'000'000, 0})
    ->Args({100'000, kPicture})
    ->Args({1'000'000, kPicture})
    ->Args({10'000'000, kPicture})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
