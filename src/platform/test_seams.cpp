#include "platform/test_seams.h"

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

// The variable's text, copied: the environment may change after it is read.
std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

TestSeams ProductSeamsShortenedByEnvironment() {
    TestSeams seams;
    const double pauseFactor = ShorterFactor(std::getenv("WORKER_SLEEP_SCALE"));
    seams.pause = [pauseFactor](DWORD milliseconds) {
        const auto shortened = static_cast<DWORD>(milliseconds * pauseFactor);
        if (shortened > 0) Sleep(shortened);
    };
    seams.transferLimitSeconds = [limit = Variable("WORKER_TRANSFER_TIMEOUT")](int productSeconds) {
        return static_cast<int>(ShorterWholeNumber(limit.c_str(), static_cast<unsigned long>(productSeconds)));
    };
    seams.jobTimeLimitMilliseconds = [limit = Variable("WORKER_JOB_TIME_LIMIT_MS")](DWORD productMilliseconds) {
        return static_cast<DWORD>(ShorterWholeNumber(limit.c_str(), productMilliseconds));
    };
    seams.now = [] { return std::time(nullptr); };
    seams.steadyMilliseconds = [] {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
    };
    return seams;
}

// Made at the first use, from the environment as it is then.
TestSeams& Table() {
    static TestSeams table = ProductSeamsShortenedByEnvironment();
    return table;
}

}  // namespace

const TestSeams& Seams() {
    return Table();
}

unsigned long ShorterWholeNumber(const char* text, unsigned long product) {
    if (text == nullptr || *text == 0) return product;
    unsigned long number = 0;
    for (const char* c = text; *c != 0; ++c) {
        if (*c < '0' || *c > '9') return product;
        number = number * 10 + static_cast<unsigned long>(*c - '0');
        if (number >= product) return product;
    }
    return number > 0 ? number : product;
}

double ShorterFactor(const char* text) {
    if (text == nullptr || *text == 0) return 1;
    char* end = nullptr;
    const double factor = std::strtod(text, &end);
    return *end == 0 && factor >= 0 && factor <= 1 ? factor : 1;
}

ScopedTestSeams::ScopedTestSeams() : previous_(Table()) {}

ScopedTestSeams::~ScopedTestSeams() {
    Table() = previous_;
}

TestSeams* ScopedTestSeams::operator->() {
    return &Table();
}
