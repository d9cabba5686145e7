#include "platform/wide_string.h"
#include "spool/spool_folder.h"

#include "platform/drive_letter.h"
#include "platform/folder_trust.h"
#include "platform/scoped_resource.h"

namespace {

// SYSTEM and the Administrators group may do anything; nobody else has any
// right, and none is inherited from the folders above.
const WCHAR kReportsFolderRights[] = TEXT("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");

using ScopedSecurityDescriptor = ScopedResource<PSECURITY_DESCRIPTOR, LocalFree>;

// A folder that is there and is not a link or junction.
bool IsPlainFolder(const WideString& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Makes a folder when it is missing; one that is made is flushed into its
// parent, so that a power loss cannot take it, and the records in it, away.
bool MakeFolder(const WideString& path, LPSECURITY_ATTRIBUTES rights) {
    if (!CreateDirectoryW(path.c_str(), rights)) return GetLastError() == ERROR_ALREADY_EXISTS;
    return FlushFolder(path.substr(0, path.find_last_of('\\')));
}

// Makes a folder of ours, when missing, with rights for SYSTEM and the
// Administrators only.
bool MakeProtectedFolder(const WideString& path) {
    ScopedSecurityDescriptor descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kReportsFolderRights, SDDL_REVISION_1,
                                                              descriptor.Receive(), nullptr))
        return false;
    SECURITY_ATTRIBUTES rights{};
    rights.nLength = sizeof rights;
    rights.lpSecurityDescriptor = descriptor.Get();
    rights.bInheritHandle = FALSE;
    return MakeFolder(path, &rights);
}

}  // namespace

WideString OpenSpoolFolder(LPCWSTR drive) {
    return OpenWorkerFolder(drive, TEXT("Reports"));
}

WideString OpenWorkerFolder(LPCWSTR drive, const WCHAR* name) {
    if (!IsDriveLetter(drive)) return WideString();
    const WideString orv = AgentInstallFolder(drive);
    const WideString patchDeploy = WorkerFolder(drive);
    const WideString reports = patchDeploy + TEXT("\\") + name;
    // A drive without the agent gets no folders of ours. The install
    // directory itself is the agent's to place, a junction included.
    const DWORD orvAttributes = GetFileAttributesW(orv.c_str());
    if (orvAttributes == INVALID_FILE_ATTRIBUTES || !(orvAttributes & FILE_ATTRIBUTE_DIRECTORY)) return WideString();
    // Once made, the folders are there for every later job.
    const bool made = IsPlainFolder(reports) && IsPlainFolder(patchDeploy);
    if (!made && (!MakeProtectedFolder(patchDeploy) || !IsPlainFolder(patchDeploy) || !MakeProtectedFolder(reports) ||
                  !IsPlainFolder(reports)))
        return WideString();
    // A record is sent with the agent's credentials: one that somebody else
    // could have put or changed is never read.
    if (!IsAdministratorsFolder(patchDeploy.c_str()) || !IsAdministratorsFolder(reports.c_str())) return WideString();
    return reports;
}

bool FlushFolder(const WideString& path) {
    ScopedHandle folder(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder && FlushFileBuffers(folder.Get());
}

WideString SpoolPath(const WideString& folder, const WideString& name) {
    return folder + TEXT("\\") + name;
}
