// GetScanErrorCodes against a hash map holding the same table: lookups per
// second over every code of the table plus codes it lacks, and the number of
// heap allocations per lookup (counted by this program's operator new).
#include <benchmark/benchmark.h>

#include <unordered_map>
#include <vector>

#include "allocation_count.h"
#include "errors/error_code_table.h"
#include "errors/scan_error_codes.h"
#include "platform/text_format.h"

namespace {

// The codes looked up: the whole table, in a scattered order.
std::vector<DWORD> TableCodes() {
    std::vector<DWORD> codes;
    for (std::size_t i = 0; i < ErrorCodeTableSize(); ++i) codes.push_back(ErrorCodeTableCode(i));
    for (std::size_t i = 0; i < codes.size(); ++i) std::swap(codes[i], codes[(i * 7919) % codes.size()]);
    return codes;
}

void BM_GetScanErrorCodes(benchmark::State& state) {
    const std::vector<DWORD> codes = TableCodes();
    WCHAR description[1024];
    std::size_t i = 0;
    long before = AllocationCount();
    for (auto _ : state) {
        description[0] = 0;
        GetScanErrorCodes(codes[i++ % codes.size()], description);
        benchmark::DoNotOptimize(description);
    }
    state.counters["allocs_per_lookup"] =
        static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetScanErrorCodes);

// The same lookups through a hash map built once from the table, with the
// same truncating copy into the caller's buffer.
void BM_HashMap(benchmark::State& state) {
    const std::vector<DWORD> codes = TableCodes();
    std::unordered_map<DWORD, const WCHAR*> table;
    for (DWORD code : codes) table.emplace(code, FindErrorCodeText(code));
    WCHAR description[1024];
    std::size_t i = 0;
    long before = AllocationCount();
    for (auto _ : state) {
        description[0] = 0;
        auto row = table.find(codes[i++ % codes.size()]);
        if (row != table.end()) FormatTruncatedN(description, 1024, TEXT("%s"), row->second);
        benchmark::DoNotOptimize(description);
    }
    state.counters["allocs_per_lookup"] =
        static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HashMap);

// The bare lookup, without the copy: the switch against the hash map.
void BM_FindErrorCodeText(benchmark::State& state) {
    const std::vector<DWORD> codes = TableCodes();
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(FindErrorCodeText(codes[i++ % codes.size()]));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindErrorCodeText);

void BM_HashMapFind(benchmark::State& state) {
    const std::vector<DWORD> codes = TableCodes();
    std::unordered_map<DWORD, const WCHAR*> table;
    for (DWORD code : codes) table.emplace(code, FindErrorCodeText(code));
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(table.find(codes[i++ % codes.size()]));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HashMapFind);

// A code the table lacks goes to the system text: measured for completeness.
void BM_GetScanErrorCodesFallback(benchmark::State& state) {
    WCHAR description[1024];
    long before = AllocationCount();
    for (auto _ : state) {
        description[0] = 0;
        GetScanErrorCodes(0x80070004, description);
        benchmark::DoNotOptimize(description);
    }
    state.counters["allocs_per_lookup"] =
        static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetScanErrorCodesFallback);

}  // namespace

BENCHMARK_MAIN();
