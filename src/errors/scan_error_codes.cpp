#include "errors/scan_error_codes.h"

#include <algorithm>
#include <cstring>

#include "errors/error_code_table.h"
#include "errors/system_message_lookup.h"
#include "platform/console.h"
#include "platform/text_format.h"

namespace {

constexpr DWORD kSystemTextCapacity = 1023;

// The system's own text: from the system message table only, in the
// system's choice of language. No insert arguments are given, so inserts
// such as %1 are left in the text as they stand: expanding them without
// arguments would read memory that is not there.
DWORD LookUpSystemMessage(DWORD code, WCHAR* buffer, DWORD capacity) {
    return FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                          capacity, nullptr);
}

SystemMessageFunction g_systemMessage = LookUpSystemMessage;

}  // namespace

SystemMessageFunction SetSystemMessageFunction(SystemMessageFunction lookup) {
    SystemMessageFunction previous = g_systemMessage;
    g_systemMessage = lookup ? lookup : LookUpSystemMessage;
    return previous;
}

std::size_t GetSystemMessageLine(DWORD code, WCHAR* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return 0;
    buffer[0] = 0;
    WCHAR systemText[kSystemTextCapacity] = {};
    try {
        g_systemMessage(code, systemText, kSystemTextCapacity);
    } catch (...) {
        return 0;
    }
    systemText[kSystemTextCapacity - 1] = 0;
    std::size_t length = 0;
    for (; systemText[length] != 0 && length < capacity - 1; ++length) {
        const WCHAR c = systemText[length];
        buffer[length] = (c < 0x20 || c == 0x7F) ? TEXT(' ') : c;
    }
    while (length > 0 && buffer[length - 1] == TEXT(' ')) --length;
    buffer[length] = 0;
    return length;
}

void GetScanErrorCodes(DWORD code, WCHAR* description) {
    if (!description) return;
    std::size_t length = 0;
    if (const WCHAR* text = FindErrorCodeText(code, length)) {
        // The text is copied as it stands, cut at the buffer's last
        // character: the same as printing it through "%s", without the
        // formatter's work on the hottest path.
        length = std::min(length, kDescriptionCapacity - 1);
        std::memcpy(description, text, length * sizeof(WCHAR));
        description[length] = 0;
        return;
    }
    try {
        // Zero-filled, so a code without system text gives "(code) " and
        // nothing behind it; the last character stays a terminator even if
        // the lookup filled the whole buffer.
        WCHAR systemText[kSystemTextCapacity] = {};
        g_systemMessage(code, systemText, kSystemTextCapacity);
        systemText[kSystemTextCapacity - 1] = 0;
        FormatTruncatedN(description, kDescriptionCapacity, TEXT("(%X) %s"), code, systemText);
    } catch (...) {
        ConsolePrint(TEXT("Exception caught in GetScanErrorCodes while FormatMessage\n"));
    }
}

void WriteFailureText(DWORD code, WCHAR* description, const WCHAR* prefix) {
    WCHAR text[kDescriptionCapacity] = {};
    GetScanErrorCodes(code, text);
    if (text[0] == 0) {
        FormatTruncatedN(description, kDescriptionCapacity, TEXT("%sError code: 0x%X"), prefix, code);
    } else {
        FormatTruncatedN(description, kDescriptionCapacity, TEXT("%sError description:%s"), prefix, text);
    }
}
