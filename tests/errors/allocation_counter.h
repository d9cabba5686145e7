// Counts the program's heap allocations through operator new, so that a test
// can show a routine allocates nothing.
#pragma once

#include <cstddef>

std::size_t HeapAllocationCount();
