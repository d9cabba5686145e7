// Console lines of the worker: wide formatted printing to standard output,
// which the entry point has made a UTF-16 text stream.
#pragma once

#include "platform/text_format.h"

void ConsolePrintList(const WCHAR* format, const FormatArg* args, std::size_t count);

template <typename... A>
void ConsolePrint(const WCHAR* format, A... args) {
    const FormatArg list[] = {MakeFormatArg(args)..., FormatArg{}};
    ConsolePrintList(format, list, sizeof...(A));
}

// A routine that ends with a console line ends in one statement: prints the
// line and returns result.
template <typename... A>
int EndWithLine(int result, const WCHAR* format, A... args) {
    ConsolePrint(format, args...);
    return result;
}
