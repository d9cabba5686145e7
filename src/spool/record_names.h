// The names of the spool's files. A job's record is never overwritten: each
// write makes the next generation of it, and the highest generation is the
// job's record; lower ones are what a newer write could not yet remove.
//
//   <job>.<n>.xml      generation n (1, 2, ...) of the job's record
//   <job>.xml          generation 0: the name that earlier workers gave it
//   <job>.<n>.xml.tmp  generation n while it is written
//   <name>.bad         a record that could not be read, kept for support staff
//
// Names on disk are not trusted: only names that these routines give back
// are ever opened, renamed or deleted.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/wide_string.h"

// The job number's canonical text when jobIdText is a plain decimal number
// (digits only, no sign or spaces, within the range of nJobID); empty
// otherwise.
WideString SpoolJobNumber(LPCWSTR jobIdText);

// The job number's value; the text must be canonical.
DWORD JobNumberValue(const WideString& jobNumber);

enum class SpoolFileKind { Record, Temporary, SetAside };

struct SpoolFileName {
    SpoolFileKind kind;
    WideString job;        // canonical job number
    DWORD generation = 0;  // of a record or temporary file
};

// What a name of the folder is, when it is one of the spool's files. Letter
// case is ignored, as the file system ignores it: "7.XML" names the record
// that this worker writes as "7.xml".
std::optional<SpoolFileName> ParseSpoolFileName(const WideString& name);

WideString RecordFileName(const WideString& job, DWORD generation);
WideString TemporaryFileName(const WideString& job, DWORD generation);
WideString SetAsideFileName(const WideString& name);

// The highest generation that a record may have; a job whose records reach
// it numbers them from 1 again once all of them are gone.
constexpr DWORD kLastGeneration = 999999999;
