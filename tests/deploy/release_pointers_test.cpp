// The two release routines as the deployment relies on them: every reference
// that is not null is released once, in the order of the parameters, each
// under its own guard; a release that raises is reported by a line of its
// own, printed before the next reference is released, and the others still
// run. The routines' own texts are left to the end-to-end suites.
#include "deploy/release_pointers.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/console_capture.h"

namespace {

// The console as it stood at each release, in the order of the releases.
struct ReleaseLog {
    ConsoleCapture* console = nullptr;
    std::vector<std::size_t> released;  // parameter positions
    std::vector<std::size_t> consoleAt;
};

// Stands for any update agent object: logs its release and, when told,
// raises an exception from it.
struct FakeObject final : public IUnknown {
    std::size_t position = 0;
    ReleaseLog* log = nullptr;
    bool raises = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        log->released.push_back(position);
        log->consoleAt.push_back(log->console->Text().size());
        if (raises) {
            throw std::runtime_error("release failed");
        }
        return 0;
    }
};

// The release routines reach each object only through IUnknown, so a fake
// may stand in for any interface; null stands for a null reference.
template <typename Interface>
Interface* As(FakeObject* fake) {
    return fake == nullptr ? nullptr : reinterpret_cast<Interface*>(static_cast<IUnknown*>(fake));
}

using References = std::vector<FakeObject*>;

struct Routine {
    const char* name;
    std::size_t count;
    // The reference released without a line of its own, or count for none.
    std::size_t silent;
    void (*release)(const References&);
};

const Routine kRoutines[] = {
    {"ReleasePatchScanPointers", 8, 8,
     [](const References& r) {
         ReleasePatchScanPointers(As<IUpdateSession>(r[0]), As<IUpdateSearcher>(r[1]), As<IUpdateServiceManager>(r[2]),
                                  As<IUpdateService>(r[3]), As<IUpdateCollection>(r[4]), As<IUpdateCollection>(r[5]),
                                  As<IUpdateCollection>(r[6]), As<ISearchResult>(r[7]));
     }},
    // The update identity, third, has no line of its own.
    {"ReleasePatchDeployPointers", 12, 2,
     [](const References& r) {
         ReleasePatchDeployPointers(As<IUpdate>(r[0]), As<IUpdate2>(r[1]), As<IUpdateIdentity>(r[2]),
                                    As<IUpdateDownloadContentCollection>(r[3]), As<IStringCollection>(r[4]),
                                    As<IUpdateDownloadContent>(r[5]), As<IUpdateInstaller>(r[6]),
                                    As<IInstallationResult>(r[7]), As<IUpdateDownloader>(r[8]),
                                    As<IDownloadResult>(r[9]), As<IUpdate>(r[10]), As<IUpdate2>(r[11]));
     }},
};

// One call of a routine: the positions released, in order, and the console
// cut at each release: before the first, then after each one up to the next
// (after the last one, up to the end).
struct Outcome {
    std::vector<std::size_t> released;
    std::string before;
    std::vector<std::string> after;
};

Outcome ReleaseWith(const Routine& routine, const std::set<std::size_t>& nulls, const std::set<std::size_t>& raising) {
    ConsoleCapture console;
    ReleaseLog log{&console, {}, {}};
    std::vector<FakeObject> fakes(routine.count);
    References references;
    for (std::size_t i = 0; i < routine.count; ++i) {
        fakes[i].position = i;
        fakes[i].log = &log;
        fakes[i].raises = raising.count(i) != 0;
        references.push_back(nulls.count(i) != 0 ? nullptr : &fakes[i]);
    }
    routine.release(references);

    const std::string text = console.Text();
    Outcome outcome{log.released, text.substr(0, log.consoleAt.empty() ? text.size() : log.consoleAt[0]), {}};
    for (std::size_t i = 0; i < log.consoleAt.size(); ++i) {
        const std::size_t end = i + 1 < log.consoleAt.size() ? log.consoleAt[i + 1] : text.size();
        outcome.after.push_back(text.substr(log.consoleAt[i], end - log.consoleAt[i]));
    }
    return outcome;
}

std::vector<std::size_t> Positions(std::size_t count, const std::set<std::size_t>& without = {}) {
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < count; ++i) {
        if (without.count(i) == 0) positions.push_back(i);
    }
    return positions;
}

TEST(ReleaseRoutines, ReleaseEveryReferenceOnceInParameterOrderBetweenTheirTwoLines) {
    for (const Routine& routine : kRoutines) {
        SCOPED_TRACE(routine.name);
        const Outcome all = ReleaseWith(routine, {}, {});
        EXPECT_EQ(all.released, Positions(routine.count));
        EXPECT_FALSE(all.before.empty());
        EXPECT_FALSE(all.after.back().empty());
        for (std::size_t i = 0; i + 1 < routine.count; ++i) {
            EXPECT_EQ(all.after[i], "") << "after position " << i;
        }

        // Null references are passed over; the lines stay the same.
        const std::set<std::size_t> nulls = {0, 3, routine.count - 1};
        const Outcome some = ReleaseWith(routine, nulls, {});
        EXPECT_EQ(some.released, Positions(routine.count, nulls));
        EXPECT_EQ(some.before, all.before);
        EXPECT_EQ(some.after.back(), all.after.back());

        const std::vector<std::size_t> every = Positions(routine.count);
        const Outcome none = ReleaseWith(routine, std::set<std::size_t>(every.begin(), every.end()), {});
        EXPECT_TRUE(none.released.empty());
        EXPECT_EQ(none.before, all.before + all.after.back());
    }
}

TEST(ReleaseRoutines, ARaisingReleaseIsReportedByItsOwnLineAndTheOthersStillRun) {
    for (const Routine& routine : kRoutines) {
        SCOPED_TRACE(routine.name);
        const Outcome quiet = ReleaseWith(routine, {}, {});
        const std::string& exitLine = quiet.after.back();
        std::set<std::string> lines;
        for (std::size_t raising = 0; raising < routine.count; ++raising) {
            SCOPED_TRACE("raising at position " + std::to_string(raising));
            const Outcome outcome = ReleaseWith(routine, {}, {raising});
            EXPECT_EQ(outcome.released, Positions(routine.count));
            EXPECT_EQ(outcome.before, quiet.before);
            // The line follows the raising release at once; no other
            // release prints anything.
            std::string line = outcome.after[raising];
            if (raising + 1 == routine.count) {
                ASSERT_GE(line.size(), exitLine.size());
                EXPECT_EQ(line.substr(line.size() - exitLine.size()), exitLine);
                line.resize(line.size() - exitLine.size());
            } else {
                EXPECT_EQ(outcome.after.back(), exitLine);
            }
            for (std::size_t i = 0; i + 1 < routine.count; ++i) {
                if (i != raising) {
                    EXPECT_EQ(outcome.after[i], "") << "after position " << i;
                }
            }
            if (raising == routine.silent) {
                EXPECT_EQ(line, "");
            } else {
                EXPECT_FALSE(line.empty());
                EXPECT_TRUE(lines.insert(line).second) << "the same line as another reference: " << line;
            }
        }
    }
}

}  // namespace
