// Starting a program in the interactive user's session.
#pragma once

#include "platform/platform.h"

// A primary token of the user of the first active session, or null. The
// caller closes it.
HANDLE GetCurrentUserToken();

// Starts commandLine in the active user's session under that user's account
// and environment, or in the worker's own session when no token can be had.
// 1: started; -1: the start in the user's session failed, or an exception was
// caught; other values: the platform's last-error code of the failed step.
int LaunchProcessAsUser(LPCWSTR commandLine, LPCWSTR workingDirectory);
