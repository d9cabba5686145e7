// The waits of one report attempt's reads: each bounded by the attempt's
// deadline and by the runtime's silence limit, in the units the runtime
// takes them in.
#pragma once

#include <chrono>

// The runtime's receive limit (recv_timeout): whole seconds when positive,
// microseconds when negative, none when 0 (a zero duration here).
std::chrono::microseconds SilenceLimit(int recvTimeout);

// How long one read may wait: until the attempt's deadline, untilDeadline
// from now, and within the runtime's receive limit when it has one; rounded
// up to whole milliseconds (the runtime waits whole milliseconds) and at
// most 2000 seconds, so that it fits the runtime's limit as microseconds.
std::chrono::microseconds ReadWait(std::chrono::steady_clock::duration untilDeadline, int recvTimeout);

// Whether a read that returned nothing after waiting for `waited`, asked to
// wait at most `wait`, waited all of it: an end of the connection comes at
// once, a limit only once its wait is over (a timer may wake a little early).
bool WaitRanOut(std::chrono::steady_clock::duration waited, std::chrono::microseconds wait);
