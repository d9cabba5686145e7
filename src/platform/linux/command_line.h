// The Windows way of splitting a command line into arguments, as
// CommandLineToArgvW does it:
// - the first token, the program, ends at the next double quote when it starts
//   with one (its quotes are dropped, backslashes are kept), else at the first
//   blank (space or tab);
// - the other tokens are separated by blanks outside double quotes;
// - 2n backslashes before a double quote give n backslashes and the quote
//   opens or closes a quoted part; 2n+1 backslashes before it give n
//   backslashes and a literal quote; backslashes elsewhere stay as they are;
// - a run of double quotes is counted together with an open quoted part
//   (which counts 1): each third gives a literal quote and ends the quoted
//   part, a remainder of 2 ends it, 1 leaves it open. So "" inside a quoted
//   part gives a literal quote and ends it, and "" outside one gives nothing
//   (an empty argument when it stands alone).
// A null or empty command line gives no tokens.
#pragma once

#include <string>
#include <vector>

#include "win_types.h"

std::vector<std::u16string> SplitWindowsCommandLine(const WCHAR* commandLine);
