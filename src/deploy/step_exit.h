// How a step of the deployment ends the run. A failing step is one statement:
// inside the deployment class PatchDeployment::Fail(release, what...),
// outside it (the checks before the run, the standalone package, the
// driver's COM start) FailStep(description, what...). Both print the step's
// console lines and write its description in the order given and return -1;
// the class's also runs the release routines that the step calls for. A step
// that may also let the run go on returns a StepResult.
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

// A text of the exit, formatted with its arguments when the exit runs (texts
// passed as arguments must live until then).
class StepFormat {
public:
    template <typename... A>
    explicit StepFormat(const WCHAR* format, A... args)
        : format_(format), args_{MakeFormatArg(args)...}, count_(sizeof...(A)) {
        static_assert(sizeof...(A) <= kMaxArgs, "a step's text takes at most two arguments");
    }

protected:
    static constexpr std::size_t kMaxArgs = 2;
    const WCHAR* format_;
    FormatArg args_[kMaxArgs];
    std::size_t count_;
};

// A console line of the exit.
class StepLine : public StepFormat {
public:
    using StepFormat::StepFormat;

    void Print() const { ConsolePrintList(format_, args_, count_); }
};

// A description of the exit, in place of what the description held.
class StepText : public StepFormat {
public:
    using StepFormat::StepFormat;

    void Write(WCHAR* description) const {
        FormatIntoBuffer(description, kDescriptionCapacity - 1, format_, args_, count_);
    }
};

// The description of the exit by the failure-text rule for code, after prefix.
struct FailureText {
    HRESULT code;
    const WCHAR* prefix = TEXT("");
};

// A description of the exit written only when the steps before it wrote
// none: an interrupted step may have described its failure already.
struct FallbackText {
    const WCHAR* text;
};

// The description of a run that an exception ended before any step
// described it.
inline constexpr FallbackText kUnknownError{TEXT("Unknown error.")};

inline void CarryExit(const StepLine& line, WCHAR*) {
    line.Print();
}
inline void CarryExit(const StepText& text, WCHAR* description) {
    text.Write(description);
}
inline void CarryExit(const FailureText& text, WCHAR* description) {
    WriteFailureText(static_cast<DWORD>(text.code), description, text.prefix);
}
inline void CarryExit(const FallbackText& text, WCHAR* description) {
    if (description[0] == 0) StepText(TEXT("%s"), text.text).Write(description);
}

// Ends a step with result: its console lines and its description (none when
// no text is given) in the order given.
template <typename... What>
int EndStep([[maybe_unused]] WCHAR* description, int result, const What&... what) {
    (CarryExit(what, description), ...);
    return result;
}

// A failing step that holds none of the update agent's objects.
template <typename... What>
int FailStep(WCHAR* description, const What&... what) {
    return EndStep(description, -1, what...);
}
