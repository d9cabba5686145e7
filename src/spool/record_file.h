// The spool's file operations: one way to write a record, one way to read
// one, one way to remove a job's records.
#pragma once

#include <string>
#include <vector>

#include "platform/scoped_resource.h"
#include "platform/wide_string.h"
#include "spool/record_names.h"

// A record is at most a description of 1023 characters, each written as at
// most five bytes, and the fields around it: anything larger is not ours.
constexpr DWORD kMostRecordBytes = 16384;

// Makes the folder's temporary file temporaryName afresh for writing, never
// through a link nor over a file of that name (the caller removes leftovers
// and never reuses a name); an empty handle when it cannot.
ScopedHandle MakeTemporaryFile(const WideString& folder, const WideString& temporaryName);

// Writes kMostRecordBytes into a file made by MakeTemporaryFile, so that a
// record written over them later needs no more space on the disk.
bool ReserveRecordSpace(HANDLE file);

// Writes bytes as the folder's file name, the way every record is written:
// the temporary file is made afresh (or, when reserved holds it, is the
// file whose space was reserved, written from its start and ended after
// bytes), written whole, flushed and closed, and then moved over name with
// MOVEFILE_WRITE_THROUGH (on NTFS the rename is in the file system's
// journal; the Linux substitute flushes the folder after its rename). A
// power loss at any point leaves name as it was or whole. False when a step
// fails; the temporary file is then removed.
bool WriteFileDurably(const WideString& folder, const WideString& temporaryName, const WideString& name,
                      const std::string& bytes, ScopedHandle reserved = ScopedHandle());

// Renames the folder's file name to its set-aside name, where no job reads
// it again, written through like every record's rename. An earlier set-aside
// file of that name is replaced: otherwise the file would stay, be read again
// by every job, and never age out. False when it could not be renamed.
bool SetAsideFile(const WideString& folder, const WideString& name);

enum class RecordRead { Read, Unavailable, NotARecord };

// Reads a record file: Unavailable when it cannot be opened now (gone,
// held by another program), NotARecord when it is not a regular file of one
// name (a link, a folder, a device) or is larger than a record can be.
RecordRead ReadRecordFile(const WideString& path, std::string& bytes);

// Deletes the files of names, in their order, and stops at the first that
// stays (a deletion that fails, or one that the system holds back while
// another program has the file open): the files after it are kept, so that
// a job's newest record is never removed while an older one remains.
// lastIsNewest says that no newer file of the job follows the last name.
// Returns how many were deleted.
std::size_t DeleteInOrder(const WideString& folder, const std::vector<WideString>& names, bool lastIsNewest);
