// Downloading and installing: the downloader and the installer, which work
// on the list of updates they are given.
#pragma once

#include <memory>
#include <vector>

#include "sim_catalog.h"
#include "sim_object.h"
#include "sim_updates.h"

namespace wua_sim::detail {

// A list of updates handed to a downloader or installer: held, with its
// models read when the operation runs.
class HeldUpdates {
public:
    ~HeldUpdates() { DropInterface(collection_); }
    void Set(IUpdateCollection* collection) {
        HoldInterface(collection);
        DropInterface(collection_);
        collection_ = collection;
    }
    IUpdateCollection* Get() const { return collection_; }
    std::vector<std::shared_ptr<UpdateModel>> Models() const {
        auto* ours = dynamic_cast<SimUpdateCollection*>(collection_);
        return ours ? ours->Models() : std::vector<std::shared_ptr<UpdateModel>>();
    }
    static json Ids(IUpdateCollection* collection) {
        auto* ours = dynamic_cast<SimUpdateCollection*>(collection);
        return ours ? ours->Ids() : json(nullptr);
    }

private:
    IUpdateCollection* collection_ = nullptr;
};

// What a downloader and an installer share: the client ID, the forced flag
// and the list of updates to work on.
template <class Interface>
class SimOperation : public SimObject<Interface> {
public:
    using Base = SimObject<Interface>;
    using Base::Base;
    using Base::GetText;
    using Base::GetValue;
    using Base::HandOut;
    using Base::Kind;
    using Base::PutValue;

    SIM_TEXT_PROPERTY(ClientApplicationID, clientApplicationId_)
    SIM_PROPERTY(IsForced, VARIANT_BOOL, forced_)
    STDMETHODIMP get_Updates(IUpdateCollection** retval) override {
        Call call(Kind(), "get_Updates");
        if (retval && !call.Skipped() && !updates_.Get()) {
            *retval = nullptr;
            return call.Done(kNoUpdate);
        }
        return this->template HandOut<IUpdateCollection>(call, retval, [this] {
            HoldInterface(updates_.Get());
            return updates_.Get();
        });
    }
    STDMETHODIMP put_Updates(IUpdateCollection* value) override {
        Call call(Kind(), "put_Updates", {{"updates", HeldUpdates::Ids(value)}});
        if (call.Skipped()) return call.Skip();
        if (!value) return call.Done(E_INVALIDARG);
        updates_.Set(value);
        return call.Done(S_OK);
    }

protected:
    std::string clientApplicationId_;
    VARIANT_BOOL forced_ = VARIANT_FALSE;
    HeldUpdates updates_;
};

class SimDownloader : public SimOperation<IUpdateDownloader> {
public:
    SimDownloader() : SimOperation("IUpdateDownloader", IID_IUpdateDownloader) {}

    SIM_PROPERTY(Priority, DownloadPriority, priority_)
    SIM_NOT_IMPLEMENTED(BeginDownload, (IUnknown*, IUnknown*, VARIANT, IDownloadJob**))

    // Each update gets its catalog download outcome; a successful one leaves
    // its content (and its bundled updates' content) in the cache.
    STDMETHODIMP Download(IDownloadResult** retval) override;
    SIM_NOT_IMPLEMENTED(EndDownload, (IDownloadJob*, IDownloadResult**))

private:
    DownloadPriority priority_ = dpNormal;
};

class SimInstaller : public SimOperation<IUpdateInstaller> {
public:
    SimInstaller() : SimOperation("IUpdateInstaller", IID_IUpdateInstaller) {}

    SIM_NOT_IMPLEMENTED(get_ParentHwnd, (HWND*))
    SIM_NOT_IMPLEMENTED(put_ParentHwnd, (HWND))
    SIM_NOT_IMPLEMENTED(put_ParentWindow, (IUnknown*))
    SIM_NOT_IMPLEMENTED(get_ParentWindow, (IUnknown**))
    SIM_NOT_IMPLEMENTED(BeginInstall, (IUnknown*, IUnknown*, VARIANT, IInstallationJob**))
    SIM_NOT_IMPLEMENTED(BeginUninstall, (IUnknown*, IUnknown*, VARIANT, IInstallationJob**))
    SIM_NOT_IMPLEMENTED(EndInstall, (IInstallationJob*, IInstallationResult**))
    SIM_NOT_IMPLEMENTED(EndUninstall, (IInstallationJob*, IInstallationResult**))

    // Installs each update of the list: one whose EULA is required but not
    // accepted fails with kEulasDeclined, one whose content is not in the
    // cache with kSourceAbsent; the others get their catalog outcome, and a
    // successful one counts as installed from then on.
    STDMETHODIMP Install(IInstallationResult** retval) override;
    SIM_NOT_IMPLEMENTED(RunWizard, (BSTR, IInstallationResult**))
    STDMETHODIMP get_IsBusy(VARIANT_BOOL* retval) override { return GetValue("get_IsBusy", retval, VARIANT_FALSE); }
    SIM_NOT_IMPLEMENTED(Uninstall, (IInstallationResult**))
    SIM_PROPERTY(AllowSourcePrompts, VARIANT_BOOL, allowSourcePrompts_)
    STDMETHODIMP get_RebootRequiredBeforeInstallation(VARIANT_BOOL* retval) override {
        return GetValue("get_RebootRequiredBeforeInstallation", retval, VARIANT_FALSE);
    }

private:
    VARIANT_BOOL allowSourcePrompts_ = VARIANT_TRUE;
};

}  // namespace wua_sim::detail
