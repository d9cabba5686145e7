#include "deploy/content_file.h"

#include "platform/text_format.h"

namespace {
constexpr std::size_t kMaxContentFileName = 100;
}

void ContentFileNameFromUrl(const WCHAR* url, WCHAR (&fileName)[1024]) {
    fileName[0] = 0;
    if (url == nullptr) {
        return;
    }
    const WCHAR* lastSegment = url;
    for (const WCHAR* c = url; *c != 0; ++c) {
        if (*c == TEXT('/')) {
            lastSegment = c + 1;
        }
    }
    // A capacity of 101 keeps at most 100 characters and the terminator.
    FormatTruncatedN(fileName, kMaxContentFileName + 1, TEXT("%s"), lastSegment);
}

bool IsContentFileName(const WCHAR* fileName) {
    if (WideEquals(fileName, TEXT(".")) || WideEquals(fileName, TEXT(".."))) {
        return false;
    }
    for (const WCHAR* c = fileName; *c != 0; ++c) {
        if (*c == TEXT('\\') || *c == TEXT(':')) {
            return false;
        }
    }
    return true;
}
