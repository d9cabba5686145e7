#include "process/run_command.h"

// Placeholder until child processes are supported: nothing is started, so
// neither output buffer is written.
bool RunCommandAndWait(LPWSTR, DWORD, LPCWSTR, WCHAR*, WCHAR*, LPCWSTR) {
    return false;
}
