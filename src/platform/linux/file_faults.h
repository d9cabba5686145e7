// Injected failures of file calls, a test seam for in-process unit tests of
// the code above the platform layer (Linux build only; tests include this
// header directly, the worker never does).
//
// FailFileCalls makes calls of one kind fail with the given last error:
//   FileCall::Create  CreateFileW, matched on the path it opens
//   FileCall::Write   WriteFile, on the path of the handle's file
//   FileCall::Flush   FlushFileBuffers, on the path of the handle's file or
//                     folder
//   FileCall::Move    MoveFileExW, on the existing or the new path
//   FileCall::Delete  DeleteFileW, on the path it deletes
//   FileCall::FlushFolder  the folder flush of MoveFileExW's
//                     MOVEFILE_WRITE_THROUGH, on the folder's path, after
//                     the rename is done (as a flush that fails on Windows)
// A call matches when its Linux path (drive mapped: as spelled by the
// caller, for a move as found with letter case ignored) ends with pathEnding, letter case ignored. The first `skip`
// matching calls run as usual; the next `times` matching calls (every one
// after them when times is -1) fail without touching the disk: a failing
// WriteFile writes nothing and reports 0 bytes written, a failing
// CreateFileW returns INVALID_HANDLE_VALUE. Several failures may be set at
// once; each counts its own matches. ClearFileFaults removes them all.
//
// The worker itself takes failures from WORKER_FILE_FAULTS, for end-to-end
// tests: "<call>:<error>:<skip>:<times>:<path ending>" entries, comma
// separated, <call> one of create, write, flush, move, delete, flushdir.
#pragma once

#include <string>

#include "win_types.h"

// In the order of the names that WORKER_FILE_FAULTS gives them.
enum class FileCall { Create, Write, Flush, Move, Delete, FlushFolder };

void FailFileCalls(FileCall call, const char* pathEnding, DWORD error, int skip = 0, int times = -1);
void ClearFileFaults();

// For the substitute's calls: true (with the last error set) when this call
// is to fail.
bool FileCallFails(FileCall call, const std::string& path, const std::string& otherPath = std::string());
