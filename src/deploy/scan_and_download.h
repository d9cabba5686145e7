// Deployment of one update through the Windows Update Agent.
#pragma once

#include "platform/platform.h"

// Takes command-line arguments 1 to 9 (update identifier, job identifier and
// drive letter are read; the rest are handed over unread) and the driver's
// zero-filled description buffer (kDescriptionCapacity characters). Returns -1 when the job
// failed (the buffer then holds the reason, or stays empty), 0 when it
// succeeded without a restart or had nothing to do, 1 when a restart is needed.
int ScanAndDownload(LPCWSTR updateId, LPCWSTR jobId, LPCWSTR driveLetter, LPCWSTR userId, LPCWSTR password,
                    LPCWSTR host, LPCWSTR port, LPCWSTR systemId, LPCWSTR patchId, WCHAR* description);
