// The Windows command-line splitter: any command line is split without a
// fault, and arguments quoted the documented Windows way (as a parent that
// builds a command line for CreateProcess quotes them) come back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_arguments.h"
#include "platform/linux/command_line.h"

namespace {

// Quotes one argument so that CommandLineToArgvW reads it back as it is.
std::u16string QuoteArgument(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos) return argument;
    std::u16string quoted = u"\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < argument.size() && argument[i] == u'\\') {
            ++backslashes;
            ++i;
        }
        if (i == argument.size()) {
            quoted.append(backslashes * 2, u'\\');
            break;
        }
        if (argument[i] == u'"') {
            quoted.append(backslashes * 2 + 1, u'\\');
        } else {
            quoted.append(backslashes, u'\\');
        }
        quoted += argument[i];
    }
    return quoted + u"\"";
}

// The program token as it must be written: quoted unless it holds a quote.
std::u16string QuoteProgram(const std::u16string& program) {
    if (program.find(u'"') != std::u16string::npos) return program;
    return u"\"" + program + u"\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line = UnitsUpToZero(data, size);
    auto tokens = SplitWindowsCommandLine(reinterpret_cast<const WCHAR*>(line.c_str()));
    if (line.empty() != tokens.empty()) std::abort();
    if (tokens.empty()) return 0;

    std::u16string rebuilt = QuoteProgram(tokens[0]);
    for (std::size_t i = 1; i < tokens.size(); ++i) rebuilt += u" " + QuoteArgument(tokens[i]);
    auto again = SplitWindowsCommandLine(reinterpret_cast<const WCHAR*>(rebuilt.c_str()));
    if (again != tokens) std::abort();
    return 0;
}
