// Waiting for a child process's end with a deadline: a child that does not
// end in time is killed and the wait fails, so that a broken child fails
// its test instead of hanging the suite.
#pragma once

#include <sys/types.h>

// Only a child that never ends makes a test wait this long.
constexpr int kChildEndLimitMs = 60000;

// Waits until the child pid has ended, at most limitMs, killing it then;
// reaps it and returns whether it ended by itself. status, when given,
// receives the wait status.
bool ReapWithin(pid_t pid, int* status = nullptr, int limitMs = kChildEndLimitMs);
