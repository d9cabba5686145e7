// The substitute's system message table: texts for the Win32 error numbers
// that the worker and its callers commonly meet. As on Windows, an HRESULT
// that wraps a Win32 error number (0x8007xxxx) finds the text of that
// number, and every text ends with a carriage return and a line feed. No
// text holds insert sequences, so a request without arguments never needs
// them. Every language gives the English text.
#include "platform/platform.h"

namespace {

struct SystemMessage {
    DWORD number;
    const WCHAR* text;
};

const SystemMessage kMessages[] = {
    {0, TEXT("The operation completed successfully.\r\n")},
    {1, TEXT("The function is not supported for this request.\r\n")},
    {2, TEXT("The file could not be found.\r\n")},
    {3, TEXT("The path could not be found.\r\n")},
    {4, TEXT("Too many files are open.\r\n")},
    {5, TEXT("Access was denied.\r\n")},
    {6, TEXT("The handle is not valid.\r\n")},
    {8, TEXT("There is not enough memory to complete this command.\r\n")},
    {11, TEXT("A program was loaded that has the wrong format.\r\n")},
    {13, TEXT("The data is not valid.\r\n")},
    {14, TEXT("There is not enough memory to complete this operation.\r\n")},
    {15, TEXT("The drive could not be found.\r\n")},
    {18, TEXT("There are no more files.\r\n")},
    {19, TEXT("The medium is write-protected.\r\n")},
    {21, TEXT("The device is not ready.\r\n")},
    {23, TEXT("A data error occurred (cyclic redundancy check).\r\n")},
    {32, TEXT("The file is in use by another process, so it cannot be accessed.\r\n")},
    {33, TEXT("Another process has locked a part of the file.\r\n")},
    {38, TEXT("The end of the file was reached.\r\n")},
    {39, TEXT("The disk is full.\r\n")},
    {50, TEXT("This request is not supported.\r\n")},
    {53, TEXT("The network path could not be found.\r\n")},
    {64, TEXT("The network name is no longer available.\r\n")},
    {67, TEXT("The network name could not be found.\r\n")},
    {80, TEXT("The file already exists.\r\n")},
    {82, TEXT("The directory or file could not be created.\r\n")},
    {87, TEXT("A parameter is not correct.\r\n")},
    {109, TEXT("The pipe has been ended.\r\n")},
    {112, TEXT("There is not enough space on the disk.\r\n")},
    {120, TEXT("This function is not supported on this system.\r\n")},
    {122, TEXT("The data area passed to a system call is too small.\r\n")},
    {123, TEXT("The file name, directory name or volume label syntax is not correct.\r\n")},
    {126, TEXT("The specified module could not be found.\r\n")},
    {127, TEXT("The specified procedure could not be found.\r\n")},
    {183, TEXT("A file cannot be created when it already exists.\r\n")},
    {193, TEXT("%1 is not a valid application for this system.\r\n")},
    {206, TEXT("The file name or extension is too long.\r\n")},
    {234, TEXT("More data is available.\r\n")},
    {258, TEXT("The wait operation timed out.\r\n")},
    {259, TEXT("No more data is available.\r\n")},
    {267, TEXT("The directory name is not valid.\r\n")},
    {317, TEXT("The system cannot find message text for the message number.\r\n")},
    {995, TEXT("The I/O operation was aborted because a thread exited or an application asked for it.\r\n")},
    {997, TEXT("An overlapped I/O operation is in progress.\r\n")},
    {1008, TEXT("An attempt was made to reference a token that does not exist.\r\n")},
    {1053, TEXT("The service did not respond to the start or control request in time.\r\n")},
    {1058, TEXT("The service cannot be started because it is disabled or has no enabled devices.\r\n")},
    {1060, TEXT("The specified service is not an installed service.\r\n")},
    {1062, TEXT("The service has not been started.\r\n")},
    {1115, TEXT("A system shutdown is in progress.\r\n")},
    {1150, TEXT("The program needs a newer version of Windows.\r\n")},
    {1155, TEXT("No application is associated with the specified file for this operation.\r\n")},
    {1168, TEXT("The element was not found.\r\n")},
    {1223, TEXT("The operation was cancelled by the user.\r\n")},
    {1244, TEXT("The operation needs an authenticated user.\r\n")},
    {1265, TEXT("The system detected a possible attempt to compromise security.\r\n")},
    {1305, TEXT("The revision level is unknown.\r\n")},
    {1312, TEXT("The specified logon session does not exist; it may already have ended.\r\n")},
    {1314, TEXT("The client does not hold a privilege that the operation needs.\r\n")},
    {1326, TEXT("The user name or password is not correct.\r\n")},
    {1392, TEXT("The file or directory is corrupted and cannot be read.\r\n")},
    {1450, TEXT("The system resources are insufficient for the requested service.\r\n")},
    {1460, TEXT("The operation returned because its time-out period expired.\r\n")},
    {1603, TEXT("A fatal error occurred during installation.\r\n")},
    {1618, TEXT("Another installation is already in progress.\r\n")},
    {1641, TEXT("The installer has started a restart to complete the installation.\r\n")},
    {1722, TEXT("The RPC server is not available.\r\n")},
    {1726, TEXT("The remote procedure call failed.\r\n")},
    {1753, TEXT("The endpoint mapper has no more endpoints available.\r\n")},
    {3010, TEXT("The operation succeeded; a restart is needed for the changes to take effect.\r\n")},
    {10054, TEXT("The remote host closed an existing connection.\r\n")},
    {10060, TEXT("The connection attempt failed because the other party did not answer in time.\r\n")},
    {10061, TEXT("The connection was refused by the target machine.\r\n")},
    {12002, TEXT("The operation timed out.\r\n")},
    {12007, TEXT("The server name or address could not be resolved.\r\n")},
    {12029, TEXT("A connection with the server could not be established.\r\n")},
    {14001, TEXT("The application could not start because its side-by-side configuration is not correct.\r\n")},
};

constexpr DWORD kMaxWidthMask = 0x000000FF;
constexpr DWORD kSupportedFlags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY | kMaxWidthMask;
constexpr DWORD kErrorMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND

const WCHAR* FindSystemMessage(DWORD messageId) {
    // A Win32 error number wrapped as an HRESULT has the number's text.
    if ((messageId & 0xFFFF0000u) == 0x80070000u) messageId &= 0xFFFFu;
    for (const SystemMessage& message : kMessages) {
        if (message.number == messageId) return message.text;
    }
    return nullptr;
}

}  // namespace

DWORD FormatMessageW(DWORD flags, const void*, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, void*) {
    // Only the system table is held here: no caller's source, no string
    // formats and no buffers allocated on the caller's behalf.
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & ~kSupportedFlags) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const WCHAR* text = FindSystemMessage(messageId);
    if (!text) {
        SetLastError(kErrorMessageNotFound);
        return 0;
    }
    DWORD length = 0;
    bool hasInsert = false;
    for (; text[length]; ++length)
        hasInsert = hasInsert || (text[length] == '%' && text[length + 1] >= '1' && text[length + 1] <= '9');
    // Windows expands inserts from the arguments unless told to leave them:
    // without arguments that reads memory that is not there. Refuse instead.
    if (hasInsert && !(flags & FORMAT_MESSAGE_IGNORE_INSERTS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (length >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (DWORD i = 0; i <= length; ++i) buffer[i] = text[i];
    return length;
}
