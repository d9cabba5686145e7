#include "deploy/job_file_names.h"

#include <string>

#include "platform/text_format.h"
#include "platform/wide_string.h"

namespace {

bool IsControlCharacter(WCHAR c) {
    return c < 0x20 || c == 0x7F;
}

// Characters that Windows refuses in any file or folder name.
bool IsForbiddenInName(WCHAR c) {
    if (IsControlCharacter(c)) {
        return true;
    }
    for (const WCHAR* forbidden = TEXT("\\/:*?\"<>|"); *forbidden != 0; ++forbidden) {
        if (c == *forbidden) {
            return true;
        }
    }
    return false;
}

bool IsFolderName(const WCHAR* name) {
    if (name == nullptr || name[0] == 0 || WideEquals(name, TEXT("."))) {
        return false;
    }
    for (const WCHAR* c = name; *c != 0; ++c) {
        if (IsForbiddenInName(*c) || (c[0] == TEXT('.') && c[1] == TEXT('.'))) {
            return false;
        }
    }
    return true;
}

}  // namespace

StepResult CheckJobFolderName(const WCHAR* jobId, WCHAR* description) {
    if (IsFolderName(jobId)) {
        return kGoOn;
    }
    return FailStep(description, StepText(TEXT("Invalid job identifier: it is not a valid folder name.")));
}

bool IsNameOfOneEntry(const WCHAR* name) {
    for (const WCHAR* c = name; *c != 0; ++c) {
        if (*c == TEXT('\\')) {
            return false;
        }
    }
    return true;
}

StepResult CheckPackagePathForCommandInterpreter(const WCHAR* packagePath, WCHAR* description) {
    bool usable = true;
    for (const WCHAR* c = packagePath; *c != 0; ++c) {
        usable = usable && *c != TEXT('%') && *c != TEXT('"') && !IsControlCharacter(*c);
    }
    if (usable) {
        return kGoOn;
    }
    WideString shown(packagePath);
    for (WCHAR& c : shown) {
        if (IsControlCharacter(c)) {
            c = TEXT(' ');
        }
    }
    return FailStep(description,
                    StepText(TEXT("Invalid MSU file path: it contains a percent sign, a double quote or a control "
                                  "character, which the command interpreter would change: %s"),
                             shown.c_str()));
}
