// The spool's files as the folder lists them.
#pragma once

#include <ctime>
#include <functional>
#include <vector>

#include "platform/wide_string.h"
#include "spool/record_names.h"

struct SpoolEntry {
    WideString name;
    SpoolFileName file;
    DWORD attributes;
    std::time_t written;  // the file's last write, seconds since 1970
};

// Visits the spool's own files among the folder's entries that match
// pattern ("*.xml*" or "<job>.*") as the folder lists them, one at a time;
// every other name is passed over.
void ForEachSpoolFile(const WideString& folder, const WideString& pattern,
                      const std::function<void(SpoolEntry&&)>& visit);

// The same files, all at once: for a pattern of one job's files.
std::vector<SpoolEntry> ListSpoolFiles(const WideString& folder, const WideString& pattern);

// Whether an entry is a plain file: not a folder, a link or a device.
bool IsPlainFile(const SpoolEntry& entry);
