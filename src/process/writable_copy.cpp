#include "process/writable_copy.h"

#include <new>

#include "platform/com_error.h"

std::vector<WCHAR> WritableCopy(LPCWSTR text) {
    try {
        std::vector<WCHAR> copy;
        if (text) {
            for (const WCHAR* c = text; *c; ++c) copy.push_back(*c);
        }
        copy.push_back(0);
        return copy;
    } catch (const std::bad_alloc&) {
        throw ComError(E_OUTOFMEMORY);
    }
}
