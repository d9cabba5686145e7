// Files of the substitute that the system would close at process end.
#pragma once

// Removes the names of the files still open with FILE_FLAG_DELETE_ON_CLOSE,
// as Windows does when ExitProcess closes their handles.
void RemoveDeleteOnCloseFiles();
