// How a step of the deployment ends the run. A failing step is one statement,
// PatchDeployment::Fail(release, what...): it prints the step's console lines
// and writes its description in the order given, runs the release routines
// that the step calls for, and returns -1. A step that may also let the run
// go on returns a StepResult.
#pragma once

#include <cstddef>
#include <optional>

#include "errors/scan_error_codes.h"
#include "platform/console.h"

// The outcome of a step that may let the run go on: kGoOn, or the result that
// ends the run.
using StepResult = std::optional<int>;
inline constexpr std::nullopt_t kGoOn = std::nullopt;

// How an exit gives the update agent's objects back: Scan runs the
// scan-phase release routine, Both runs both routines, Quiet runs neither.
// Whatever an exit's routines do not cover is released without a console
// line, so that no exit leaves an object alive.
enum class ExitRelease { None, Scan, Both, Quiet };

// A console line of the exit, formatted with its arguments when the exit runs
// (texts passed as arguments must live until then).
class StepLine {
public:
    template <typename... A>
    explicit StepLine(const WCHAR* format, A... args)
        : format_(format), args_{MakeFormatArg(args)...}, count_(sizeof...(A)) {
        static_assert(sizeof...(A) <= kMaxArgs, "a step's console line takes at most two arguments");
    }

    void Print() const { ConsolePrintList(format_, args_, count_); }

private:
    static constexpr std::size_t kMaxArgs = 2;
    const WCHAR* format_;
    FormatArg args_[kMaxArgs];
    std::size_t count_;
};

// The description of the exit by the failure-text rule for code.
struct FailureText {
    HRESULT code;
};

// A fixed description of the exit.
struct FixedText {
    const WCHAR* text;
};
