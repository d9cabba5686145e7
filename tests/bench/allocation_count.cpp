// Replaces the global operator new and delete to count allocations; kept in
// a file of its own so that no caller sees the replacement inlined.
#include "allocation_count.h"

#include <cstdlib>
#include <new>

namespace {
long g_allocations;
}

long AllocationCount() {
    return g_allocations;
}

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
