// The journal of file operations, a test seam for the enumeration of the
// states a power loss can leave on the disk.
//
// When the environment variable WORKER_FILE_OPS_JOURNAL names a file, every
// successful call of the substitute that changes the disk appends one line
// to it, written with one write(2) on a descriptor opened with O_APPEND, so
// that the lines of concurrent processes never mix. The lines, in the order
// the operations happened:
//
//   mkdir <path>                  CreateDirectoryW made a folder
//   create <path>                 CreateFileW made an empty file
//   truncate <path> <size>        CreateFileW (CREATE_ALWAYS) emptied an
//                                 existing file; size is the new size, 0
//   write <path> <offset> <hex>   WriteFile put these bytes (lower-case
//                                 hexadecimal, two digits a byte) at this
//                                 decimal offset, the file position before
//                                 the write; a write of no bytes is not
//                                 recorded
//   flush <path>                  FlushFileBuffers of a file: its data and
//                                 size are on the disk
//   flushdir <path>               a folder's entries are on the disk
//                                 (FlushFileBuffers of a folder's handle, or
//                                 MOVEFILE_WRITE_THROUGH, for each folder
//                                 of the rename)
//   rename <from> <to>            MoveFileExW (from replaces to when it
//                                 existed)
//   delete <path>                 a file's name went (DeleteFileW, or the
//                                 close of the last handle of a file whose
//                                 deletion was pending)
//
// Paths are absolute Linux paths; write, flush and flushdir name the path
// the handle was opened by (a handle kept open across a rename of its file
// keeps the old name). In a path, '%', space and the bytes below
// 0x20 and 0x7F are written as '%' and two upper-case hexadecimal digits
// (%25, %20, %0A), so that fields split at single spaces; other bytes
// (UTF-8 included) pass unchanged. Each line ends with "\n".
#pragma once

#include <cstddef>
#include <string>

void JournalFileOperation(const char* operation, const std::string& path);
void JournalRename(const std::string& from, const std::string& to);
void JournalTruncate(const std::string& path, unsigned long long size);
void JournalWrite(const std::string& path, unsigned long long offset, const void* bytes, std::size_t count);
