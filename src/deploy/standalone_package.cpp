#include "deploy/standalone_package.h"

#include <string>

#include "deploy/job_file_names.h"
#include "deploy/letter_case.h"
#include "deploy/msu_file_name.h"
#include "errors/scan_error_codes.h"
#include "platform/text_format.h"
#include "process/run_command.h"

namespace {

using WideString = std::basic_string<WCHAR>;

// The installer's exit texts that count as success: installed, already
// installed, and installed pending a restart (3010 and 3011).
const WCHAR* const kSuccessExitTexts[] = {TEXT("0x0"), TEXT("0x240006"), TEXT("0xBC2"), TEXT("0xBC3")};

constexpr DWORD kInstallerTimeLimitMs = 25200000;  // 7 hours

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
    if (!CheckJobFolderName(jobId, description)) {
        return -1;
    }
    WCHAR installDirectory[1024] = {};
    FormatTruncated(installDirectory, TEXT("%s:\\ORV"), driveLetter);
    const auto packageName = GetMsuFileName(installDirectory, jobId);
    if (packageName.empty()) {
        FormatTruncatedN(description, kDescriptionCapacity, TEXT("Unable to get MSU file name."));
        return -1;
    }

    WCHAR packagePath[1024] = {};
    FormatTruncated(packagePath, TEXT("%s\\%s\\%s"), installDirectory, jobId, packageName.c_str());
    if (!CheckPackagePathForCommandInterpreter(packagePath, description)) {
        return -1;
    }
    WCHAR commandLine[1024] = {};
    FormatTruncated(commandLine, TEXT("cmd /c wusa.exe \"%s\" /quiet /norestart"), packagePath);
    WCHAR exitText[256] = {};
    RunCommandAndWait(commandLine, kInstallerTimeLimitMs, TEXT("0x240006"), exitText, description, nullptr);

    for (const WCHAR* success : kSuccessExitTexts) {
        if (WideEquals(exitText, success)) {
            return 1;
        }
    }
    return -1;
}
