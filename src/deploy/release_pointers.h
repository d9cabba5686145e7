// The two routines that release the Windows Update Agent objects which
// ScanAndDownload holds: one for the search phase, one for the deployment
// phase. Each takes its references by value, releases every one that is not
// null exactly once, and keeps going when a release raises an exception.
#pragma once

#include "platform/platform.h"

void ReleasePatchScanPointers(IUpdateSession* lpUpdateSession, IUpdateSearcher* lpUpdateSearcher,
                              IUpdateServiceManager* lpUpdateServiceManager, IUpdateService* pService,
                              IUpdateCollection* pUpdateCollection1, IUpdateCollection* pUpdateCollection2,
                              IUpdateCollection* pUpdateCollection3, ISearchResult* pSearchResult);

void ReleasePatchDeployPointers(IUpdate* lpUpdate, IUpdate2* lpUpdate2, IUpdateIdentity* pUpdateIdentity,
                                IUpdateDownloadContentCollection* pUpdateDownloadContentCollection,
                                IStringCollection* lpString, IUpdateDownloadContent* pUpdateDownloadContent,
                                IUpdateInstaller* lpUpdateInstaller, IInstallationResult* IResult,
                                IUpdateDownloader* lpUpdateDownloader, IDownloadResult* lpDownloadResult,
                                IUpdate* pUpdate, IUpdate2* pUpdate2);
