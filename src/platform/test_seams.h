// Everything in the worker that a test may replace, in one table, and
// nowhere else. Each entry is a routine that starts as the product's own; a
// test replaces it in one of two ways:
// - a test of the whole worker sets the environment variable named beside
//   the entry. Both builds read these variables once, at the first use of
//   the table; a variable can only shorten the product's duration, and any
//   other value leaves the product's.
// - a test inside the test program replaces entries for a scope with
//   ScopedTestSeams.
#pragma once

#include <ctime>
#include <functional>

#include "platform/platform.h"

// The deployment routine's form (arguments 1 to 9 of the job's command line,
// then the description buffer).
using DeployRoutine = int (*)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, WCHAR*);

struct TestSeams {
    // Waits for the given milliseconds: the pause after a failed report
    // attempt and after the tray program's start. WORKER_SLEEP_SCALE, a
    // decimal factor from 0 to 1, shortens every pause.
    std::function<void(DWORD milliseconds)> pause;
    // The report attempt's send, receive and whole-transfer limit in
    // seconds, from the product's. WORKER_TRANSFER_TIMEOUT, whole seconds
    // below the product's, for tests of a server that never answers.
    std::function<int(int productSeconds)> transferLimitSeconds;
    // The deployment job's time limit in milliseconds, from the product's.
    // WORKER_JOB_TIME_LIMIT_MS, whole milliseconds below the product's, so
    // that tests reach the limit without waiting for hours.
    std::function<DWORD(DWORD productMilliseconds)> jobTimeLimitMilliseconds;
    // The calendar time that the report spool writes records at and ages
    // them by. In-process tests only.
    std::function<std::time_t()> now;
    // A steady count of milliseconds that bounds a delivery's duration.
    // In-process tests only.
    std::function<long long()> steadyMilliseconds;
    // The deployment job's routine; null for the product's. In-process tests
    // only.
    DeployRoutine deploy = nullptr;
};

// The table in effect.
const TestSeams& Seams();

// The whole number that text gives when it is below product and above 0
// (decimal digits only); otherwise product. How a variable shortens a
// duration.
unsigned long ShorterWholeNumber(const char* text, unsigned long product);
// The factor that text gives when it is a decimal number from 0 to 1;
// otherwise 1.
double ShorterFactor(const char* text);

// Replaces entries of the table from its construction to its destruction,
// when the table before it comes back. Not for use while another thread of
// the test reads the table.
class ScopedTestSeams {
public:
    ScopedTestSeams();
    ~ScopedTestSeams();
    ScopedTestSeams(const ScopedTestSeams&) = delete;
    ScopedTestSeams& operator=(const ScopedTestSeams&) = delete;

    TestSeams* operator->();

private:
    TestSeams previous_;
};
