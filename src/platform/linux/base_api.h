// Last-error state, text conversion, pauses and the system message table.
#pragma once

#include "win_types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

// Reads leading white space, an optional sign and decimal digits; anything
// after them is ignored and text without digits gives 0. Values beyond the
// range of int are clamped, as the C runtime does. Digits are those the
// Windows C runtime reads: ASCII, full-width and the decimal digits of the
// scripts listed in base_api.cpp, so "\uFF10\uFF11" reads as 1.
int _wtoi(const WCHAR* text);

#define CP_ACP 0
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

// The ANSI code page of this substitute is UTF-8: plain ASCII passes through
// unchanged. cchWideChar -1 converts through the terminator. Unpaired
// surrogates become U+FFFD.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int cchWideChar, LPSTR multiByte, int cbMultiByte,
                        LPCSTR defaultChar, BOOL* usedDefaultChar);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte, LPWSTR wide, int cchWideChar);

// Sleeps for the given milliseconds.
void Sleep(DWORD milliseconds);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000

// The substitute's own message table: see system_messages.cpp. Returns the
// number of characters written (without the terminator), 0 when the code has
// no message or the buffer is too small (last error then says why).
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void* arguments);
