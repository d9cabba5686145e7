#include "deploy/content_file.h"
#include "deploy/job_file_names.h"
#include "deploy/patch_deployment.h"
#include "deploy/standalone_package.h"
#include "joblog/job_log.h"
#include "platform/console.h"
#include "platform/scoped_com.h"
#include "platform/text_format.h"

// Installs the found update: from its standalone package, from the content
// files in the job folder, or online when it has no bundled updates.
int PatchDeployment::Deploy() {
    ScopedBstr title;
    lpUpdate->get_Title(title.Receive());
    const WCHAR* titleText = title.Get();
    if (IsStandalonePackageTitle(title.Get())) {
        JobLog(LogType::Information, TEXT("Update found: %s; way: standalone package"), titleText);
        // The installer does not need the update agent's objects. This way
        // prints nothing of its own, so they go back without the release
        // routines' lines.
        return Finish(ExitRelease::Quiet, InstallStandalonePackage(driveLetter_, jobId_, description_));
    }

    HRESULT hr = lpUpdate->get_BundledUpdates(&pUpdateCollection3);
    if (hr != S_OK || pUpdateCollection3 == nullptr) {
        return Fail(ExitRelease::Both);
    }
    LONG bundledCount = 0;
    hr = pUpdateCollection3->get_Count(&bundledCount);
    if (hr != S_OK) {
        return Fail(ExitRelease::Both, FailureText{hr});
    }
    if (bundledCount <= 0) {
        JobLog(LogType::Information, TEXT("Update found: %s; way: online, no bundled updates"), titleText);
        return InstallOnline();
    }
    JobLog(LogType::Information, TEXT("Update found: %s; way: cached content of %d bundled updates"), titleText,
           static_cast<int>(bundledCount));
    if (const StepResult cached = CacheBundledContent(bundledCount)) {
        return *cached;
    }
    return InstallCachedUpdate();
}

// Hands each bundled update's content file from the job folder to the update
// agent's cache. The objects obtained for one bundled update are released
// before those of the next are obtained, so only the last ones are left for
// the release routine; each of those releases stands under its own guard, as
// in the release routines, so that one that raises does not end the run.
StepResult PatchDeployment::CacheBundledContent(LONG bundledCount) {
    for (LONG i = 0; i < bundledCount; ++i) {
        ReleaseQuietly(pUpdateDownloadContent, lpString, pUpdateDownloadContentCollection, pUpdate2, pUpdate);
        if (const StepResult cached = CacheBundledUpdate(i)) {
            return cached;
        }
    }
    return kGoOn;
}

// Caches the content file of one bundled update; one without content has
// nothing to cache.
StepResult PatchDeployment::CacheBundledUpdate(LONG index) {
    HRESULT hr = pUpdateCollection3->get_Item(index, &pUpdate);
    if (FAILED(hr) || pUpdate == nullptr) {
        return Fail(ExitRelease::Both,
                    StepLine(TEXT("retUpdate is null :: Bundled update didnt get any item for this patch\n")),
                    FailureText{MissingObjectCode(hr)});
    }
    hr = pUpdate->get_DownloadContents(&pUpdateDownloadContentCollection);
    if (FAILED(hr) || pUpdateDownloadContentCollection == nullptr) {
        return Fail(ExitRelease::Both, StepLine(TEXT("retVal is null :: Not able to get the downloadcontents \n")),
                    FailureText{MissingObjectCode(hr)});
    }
    hr = CoCreateInstance(CLSID_StringCollection, nullptr, CLSCTX_INPROC_SERVER, IID_IStringCollection,
                          reinterpret_cast<void**>(&lpString));
    if (FAILED(hr) || lpString == nullptr) {
        return Fail(ExitRelease::Both, FailureText{MissingObjectCode(hr)});
    }
    if (pUpdateDownloadContentCollection->get_Item(0, &pUpdateDownloadContent) != S_OK) {
        return kGoOn;
    }
    if (pUpdateDownloadContent == nullptr) {
        return Fail(ExitRelease::Both, StepLine(TEXT("retItem is null :: Not able to get the download url\n")),
                    StepText(TEXT("Patch deploy failed. Unable to get the download URL.")));
    }
    if (CheckJobFolderName(jobId_, description_)) {
        return Fail(ExitRelease::Both);
    }

    ScopedBstr url;
    pUpdateDownloadContent->get_DownloadUrl(url.Receive());
    WCHAR fileName[1024] = {};
    ContentFileNameFromUrl(url.Get(), fileName);
    WCHAR filePath[2048] = {};
    FormatTruncated(filePath, TEXT("%s:\\ORV\\%s\\%s"), driveLetter_, jobId_, fileName);
    ConsolePrint(TEXT("File path: %s\n"), filePath);
    const LogStopwatch copy;
    hr = CopyContentToCache(fileName, filePath);
    JobLog(ResultType(hr == S_OK), TEXT("Content file %s handed to the cache: hr 0x%X, %u ms"), filePath, hr,
           copy.Milliseconds());
    if (hr != S_OK) {
        return Fail(ExitRelease::Both, StepLine(TEXT("Error %x"), hr), FailureText{hr});
    }
    return kGoOn;
}

// Hands one content file to the bundled update's cache. Returns S_OK, or the
// code of the call that failed.
HRESULT PatchDeployment::CopyContentToCache(const WCHAR* fileName, const WCHAR* filePath) {
    // A name that is not a plain file name is refused as a file that cannot
    // be found would be.
    if (!IsContentFileName(fileName)) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    }
    LONG index = 0;
    HRESULT hr = lpString->Add(ScopedBstr(filePath).Get(), &index);
    if (hr != S_OK) {
        return hr;
    }
    hr = pUpdate->QueryInterface(IID_IUpdate2, reinterpret_cast<void**>(&pUpdate2));
    if (FAILED(hr) || pUpdate2 == nullptr) {
        return MissingObjectCode(hr);
    }
    return pUpdate2->CopyToCache(lpString);
}

// Installs the found update after its content has been cached.
int PatchDeployment::InstallCachedUpdate() {
    lpUpdate->AcceptEula();
    LONG index = 0;
    pUpdateCollection2->Add(lpUpdate, &index);
    HRESULT hr = lpUpdateSession->CreateUpdateInstaller(&lpUpdateInstaller);
    if (lpUpdateInstaller == nullptr) {
        return Fail(ExitRelease::Both, FailureText{MissingObjectCode(hr)});
    }
    if (lpUpdateInstaller->put_Updates(pUpdateCollection2) != S_OK) {
        return Fail(ExitRelease::Both);
    }
    const LogStopwatch installation;
    hr = lpUpdateInstaller->Install(&IResult);
    if (hr != S_OK || IResult == nullptr) {
        hr = FailedCallCode(hr);
        JobLog(LogType::Error, TEXT("Installation: hr 0x%X, %u ms"), hr, installation.Milliseconds());
        return Fail(ExitRelease::Both, StepLine(TEXT("Error: 0x%X"), hr), FailureText{hr});
    }

    OperationResultCode resultCode = orcNotStarted;
    IResult->get_ResultCode(&resultCode);
    JobLog(ResultType(resultCode == orcSucceeded), TEXT("Installation: hr 0x%X, result code %d, %u ms"), hr,
           static_cast<int>(resultCode), installation.Milliseconds());
    ConsolePrint(TEXT("Patch installed. resultcode:%d\n"), static_cast<int>(resultCode));
    if (resultCode != orcSucceeded) {
        return Fail(ExitRelease::Both, FailureText{InstallationFailureCode()});
    }
    return Finish(ExitRelease::Both, RestartFlag());
}
