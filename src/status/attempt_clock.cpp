#include "status/attempt_clock.h"

#include <algorithm>

#include "status/acknowledgement.h"
#include "status/reply_reading.h"

using std::chrono::microseconds;

microseconds SilenceLimit(int recvTimeout) {
    return microseconds(recvTimeout > 0 ? recvTimeout * 1000000LL : -1LL * recvTimeout);
}

microseconds ReadWait(std::chrono::steady_clock::duration untilDeadline, int recvTimeout) {
    constexpr microseconds::rep kLongestWait = 2000000000;
    microseconds::rep wait = std::chrono::duration_cast<microseconds>(untilDeadline).count();
    if (recvTimeout != 0) wait = std::min(wait, SilenceLimit(recvTimeout).count());
    return microseconds(std::min((wait + 999) / 1000 * 1000, kLongestWait));
}

bool WaitRanOut(std::chrono::steady_clock::duration waited, microseconds wait) {
    constexpr std::chrono::milliseconds kTimerSlack{20};
    return waited + kTimerSlack >= wait;
}

void StartAttemptClock(struct soap* soap) {
    ReplyReading* reading = Reading(soap);
    reading->attemptStart = ReplyReading::Clock::now();
    reading->attemptStartTime = std::time(nullptr);
    reading->connectionKept = soap->keep_alive != 0 && soap_valid_socket(soap->socket);
    reading->received = 0;
    reading->cutShort = false;
    reading->connectionEnded = false;
    reading->endedWithoutCloseAlert = false;
}

std::optional<ReplyReading::Clock::time_point> AttemptDeadline(struct soap* soap) {
    const ReplyReading* reading = Reading(soap);
    if (!reading || soap->transfer_timeout <= 0) return std::nullopt;
    return reading->attemptStart + std::chrono::seconds(soap->transfer_timeout);
}
