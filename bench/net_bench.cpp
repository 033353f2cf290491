// List-page parsing at scale: a hostile answer of one line with no comma at all (64 KiB and
// 1 MiB), and a long list of ordinary records (by count). bytes_per_second gives the time per MiB of answer.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "net/server_check.h"

namespace {

std::u16string NoCommas(size_t bytes) {
    // One long line of field characters with a stray quote now and then (an ASCII answer:
    // one character a byte).
    std::u16string text(bytes, u'x');
    for (size_t i = 1000; i < text.size(); i += 4096) text[i] = u'"';
    return text;
}

std::u16string ManyRecords(int64_t count) {
    std::u16string text = u"header\r\n";
    for (int64_t i = 0; i < count; ++i)
        text += u"新着,\"?page=BulletinView&id=" + std::u16string(1, u'0' + i % 10) + u"\",題名\r\n";
    return text + u"NOERROR\r\n";
}

void Run(benchmark::State& state, const std::u16string& text) {
    std::vector<tt::ServerRecord> records;
    for (auto _ : state) {
        tt::ParseServerRecords(text, records);
        benchmark::DoNotOptimize(records.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["records"] = static_cast<double>(records.size());
}

void BM_ParseServerRecords_NoCommas(benchmark::State& state) { Run(state, NoCommas(state.range(0))); }
void BM_ParseServerRecords_ManyRecords(benchmark::State& state) { Run(state, ManyRecords(state.range(0))); }

BENCHMARK(BM_ParseServerRecords_NoCommas)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
// 100 000 records is about 6.5 MiB of text; 6 250 records are a sixteenth of it.
BENCHMARK(BM_ParseServerRecords_ManyRecords)->Arg(6250)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
