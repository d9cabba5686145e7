// GetScanErrorCodes against a hash map holding the same table: lookups per
// second over every code of the table, and the number of heap allocations
// per lookup (counted by this program's operator new).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include "allocation_count.h"
#include "errors/error_code_table.h"
#include "errors/scan_error_codes.h"

namespace {

// The codes looked up: the whole table, in a scattered order.
std::vector<DWORD> TableCodes() {
    std::vector<DWORD> codes;
    for (std::size_t i = 0; i < ErrorCodeTableSize(); ++i) codes.push_back(ErrorCodeTableCode(i));
    for (std::size_t i = 0; i < codes.size(); ++i) std::swap(codes[i], codes[(i * 7919) % codes.size()]);
    return codes;
}

// Each code with its text and the text's length, as the table holds them.
using HashTable = std::unordered_map<DWORD, std::pair<const WCHAR*, std::size_t>>;

HashTable MakeHashTable(const std::vector<DWORD>& codes) {
    HashTable table;
    for (DWORD code : codes) {
        std::size_t length = 0;
        const WCHAR* text = FindErrorCodeText(code, length);
        table.emplace(code, std::make_pair(text, length));
    }
    return table;
}

// Runs lookup(code, description) over the codes in turn and records the
// allocations made per lookup.
template <class Lookup>
void RunLookups(benchmark::State& state, const std::vector<DWORD>& codes, Lookup lookup) {
    WCHAR description[kDescriptionCapacity];
    std::size_t i = 0;
    long before = AllocationCount();
    for (auto _ : state) {
        description[0] = 0;
        lookup(codes[i++ % codes.size()], description);
        benchmark::DoNotOptimize(description);
    }
    state.counters["allocs_per_lookup"] =
        static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
}

void BM_GetScanErrorCodes(benchmark::State& state) {
    RunLookups(state, TableCodes(), [](DWORD code, WCHAR* description) { GetScanErrorCodes(code, description); });
}
BENCHMARK(BM_GetScanErrorCodes);

// The same lookups through a hash map built once from the table, with the
// same bounded copy into the caller's buffer that GetScanErrorCodes makes.
void BM_HashMap(benchmark::State& state) {
    const std::vector<DWORD> codes = TableCodes();
    const HashTable table = MakeHashTable(codes);
    RunLookups(state, codes, [&table](DWORD code, WCHAR* description) {
        auto row = table.find(code);
        if (row == table.end()) return;
        std::size_t length = std::min<std::size_t>(row->second.second, 1023);
        std::memcpy(description, row->second.first, length * sizeof(WCHAR));
        description[length] = 0;
    });
}
BENCHMARK(BM_HashMap);

// The lookup alone, without the copy: the table against the hash map.
void BM_FindErrorCodeText(benchmark::State& state) {
    RunLookups(state, TableCodes(), [](DWORD code, WCHAR*) { benchmark::DoNotOptimize(FindErrorCodeText(code)); });
}
BENCHMARK(BM_FindErrorCodeText);

void BM_HashMapFind(benchmark::State& state) {
    const std::vector<DWORD> codes = TableCodes();
    const HashTable table = MakeHashTable(codes);
    RunLookups(state, codes, [&table](DWORD code, WCHAR*) { benchmark::DoNotOptimize(table.find(code)); });
}
BENCHMARK(BM_HashMapFind);

// A code the table lacks goes to the system text: measured for completeness.
void BM_GetScanErrorCodesFallback(benchmark::State& state) {
    RunLookups(state, {0x80070004}, [](DWORD code, WCHAR* description) { GetScanErrorCodes(code, description); });
}
BENCHMARK(BM_GetScanErrorCodesFallback);

}  // namespace

BENCHMARK_MAIN();
