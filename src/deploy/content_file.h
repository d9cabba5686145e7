// Where the agent has put a bundled update's content file: in the job folder,
// under the name that ends the content's download URL.
#pragma once

#include "platform/platform.h"

// Writes the URL's text after its last "/" (all of it when there is none),
// cut to its first 100 characters, into fileName. A null URL gives an empty
// name.
void ContentFileNameFromUrl(const WCHAR* url, WCHAR (&fileName)[1024]);

// False when the name would lead out of the job folder once joined to it:
// it holds a backslash or a colon (a path, a drive, an alternate stream), or
// it is "." or "..".
bool IsContentFileName(const WCHAR* fileName);
