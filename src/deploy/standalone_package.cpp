#include "deploy/standalone_package.h"

#include <string>

#include "deploy/job_file_names.h"
#include "deploy/letter_case.h"
#include "deploy/msu_file_name.h"
#include "deploy/step_exit.h"
#include "joblog/job_log.h"
#include "platform/text_format.h"
#include "platform/wide_string.h"
#include "process/run_command.h"
#include "process/start_failure.h"

namespace {

// The installer's exit texts that count as success: installed, already
// installed, and installed pending a restart (3010 and 3011).
const WCHAR* const kSuccessExitTexts[] = {TEXT("0x0"), TEXT("0x240006"), TEXT("0xBC2"), TEXT("0xBC3")};

constexpr DWORD kInstallerTimeLimitMs = 25200000;  // 7 hours

constexpr DWORD kErrorNameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

// The installer's command line: cmd.exe and wusa.exe by their full paths in
// the system folder. Found by name, they would be looked for in the worker's
// folder and the current folder first, and a cmd.exe or wusa.exe placed
// there would run with the service's rights. A system folder that cannot be
// had, or a line that would not fit whole, starts nothing: the installer
// could not be started, and the failed step's result is returned.
StepResult FormatInstallerCommandLine(const WCHAR* packagePath, WCHAR (&commandLine)[1024], WCHAR* description) {
    WCHAR systemFolder[MAX_PATH] = {};
    const UINT folderLength = GetSystemDirectoryW(systemFolder, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH) {
        return FailStep(description, InstallerStartFailure{folderLength == 0 ? GetLastError() : kErrorNameTooLong});
    }
    const std::size_t lineLength =
        FormatTruncated(commandLine, TEXT("%s\\cmd.exe /c %s\\wusa.exe \"%s\" /quiet /norestart"), systemFolder,
                        systemFolder, packagePath);
    if (lineLength >= sizeof commandLine / sizeof commandLine[0] - 1) {
        return FailStep(description, InstallerStartFailure{kErrorNameTooLong});
    }
    return kGoOn;
}

}  // namespace

bool IsStandalonePackageTitle(const WCHAR* title) {
    WCHAR formatted[1024] = {};
    FormatTruncated(formatted, TEXT("%s"), title);
    WideString lowered(formatted);
    for (WCHAR& c : lowered) {
        c = LowerLatinLetter(c);
    }
    auto contains = [&lowered](const WCHAR* part) { return lowered.find(part) != WideString::npos; };
    const bool cumulative =
        contains(TEXT("cumulative update for windows")) || contains(TEXT("cumulative update for microsoft server"));
    return cumulative && !contains(TEXT("cumulative update for windows 10"));
}

int InstallStandalonePackage(const WCHAR* driveLetter, const WCHAR* jobId, WCHAR* description) {
    if (const StepResult refused = CheckJobFolderName(jobId, description)) {
        return *refused;
    }
    WCHAR installDirectory[1024] = {};
    FormatTruncated(installDirectory, TEXT("%s:\\ORV"), driveLetter);
    const auto packageName = GetMsuFileName(installDirectory, jobId);
    if (packageName.empty()) {
        JobLog(LogType::Error, TEXT("No package *.msu in the job folder %s\\%s"), installDirectory, jobId);
        return FailStep(description, StepText(TEXT("Unable to get MSU file name.")));
    }

    WCHAR packagePath[1024] = {};
    FormatTruncated(packagePath, TEXT("%s\\%s\\%s"), installDirectory, jobId, packageName.c_str());
    if (const StepResult refused = CheckPackagePathForCommandInterpreter(packagePath, description)) {
        return *refused;
    }
    WCHAR commandLine[1024] = {};
    if (const StepResult notStarted = FormatInstallerCommandLine(packagePath, commandLine, description)) {
        return *notStarted;
    }
    WCHAR exitText[256] = {};
    JobLog(LogType::Information, TEXT("Installer started: %s"), commandLine);
    const LogStopwatch installer;
    RunCommandAndWait(commandLine, kInstallerTimeLimitMs, TEXT("0x240006"), exitText, description, nullptr);
    bool succeeded = false;
    for (const WCHAR* success : kSuccessExitTexts) {
        succeeded = succeeded || WideEquals(exitText, success);
    }
    JobLog(ResultType(succeeded), TEXT("Installer ended: exit code %s, %u ms"), exitText[0] ? exitText : TEXT("none"),
           installer.Milliseconds());
    if (succeeded) {
        return 1;
    }
    // The run-and-wait routine has described the installer's failure.
    return FailStep(description);
}
