// The spool's files as the folder lists them.
#pragma once

#include <ctime>
#include <vector>

#include "spool/record_names.h"

struct SpoolEntry {
    SpoolText name;
    SpoolFileName file;
    DWORD attributes;
    std::time_t written;  // the file's last write, seconds since 1970
};

// The spool's own files among the folder's entries that match pattern
// ("*.xml*" or "<job>.*"); every other name is passed over.
std::vector<SpoolEntry> ListSpoolFiles(const SpoolText& folder, const SpoolText& pattern);

// Whether an entry is a plain file: not a folder, a link or a device.
bool IsPlainFile(const SpoolEntry& entry);
