#include "process/start_failure.h"

#include "errors/scan_error_codes.h"
#include "errors/system_message_lookup.h"
#include "platform/console.h"
#include "platform/text_format.h"

void ReportInstallerStartFailure(DWORD error, WCHAR* message) {
    WCHAR systemText[kDescriptionCapacity] = {};
    WCHAR reason[kDescriptionCapacity] = {};
    if (GetSystemMessageLine(error, systemText, kDescriptionCapacity) > 0) {
        FormatTruncated(reason, TEXT("The installer could not be started: %s"), systemText);
    } else {
        FormatTruncated(reason, TEXT("The installer could not be started: Error code: 0x%X"), error);
    }
    if (message) FormatTruncatedN(message, kDescriptionCapacity, TEXT("%s"), reason);
    ConsolePrint(TEXT("%s\n"), reason);
}
