#include "sim_updates.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/local_path.h"

namespace wua_sim::detail {

namespace {

// The texts of a string collection, read without journal lines when it is
// ours.
std::vector<WideString> StringsOf(IStringCollection* collection) {
    if (auto* ours = dynamic_cast<SimStringCollection*>(collection)) return ours->Items();
    std::vector<WideString> items;
    LONG count = 0;
    if (collection->get_Count(&count) != S_OK) return items;
    for (LONG i = 0; i < count; ++i) {
        BSTR item = nullptr;
        if (collection->get_Item(i, &item) == S_OK) items.emplace_back(item ? item : TEXT(""), SysStringLen(item));
        SysFreeString(item);
    }
    return items;
}

// A full path as Windows writes one: a drive letter, a colon and a
// separator, or a UNC path.
bool IsFullPath(const WideString& path) {
    if (path.size() < 3) return false;
    WCHAR letter = static_cast<WCHAR>(path[0] | 0x20);
    bool separator = path[2] == '\\' || path[2] == '/';
    bool drive = letter >= 'a' && letter <= 'z' && path[1] == ':' && separator;
    bool unc = path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

// ---------------------------------------------------------------- small result objects

class SimUpdateIdentity : public SimObject<IUpdateIdentity> {
public:
    SimUpdateIdentity(std::string id, LONG revision)
        : SimObject("IUpdateIdentity", IID_IUpdateIdentity), id_(std::move(id)), revision_(revision) {}
    STDMETHODIMP get_RevisionNumber(LONG* retval) override { return GetValue("get_RevisionNumber", retval, revision_); }
    STDMETHODIMP get_UpdateID(BSTR* retval) override { return GetText("get_UpdateID", retval, id_); }

private:
    std::string id_;
    LONG revision_;
};

class SimDownloadContent : public SimObject<IUpdateDownloadContent> {
public:
    explicit SimDownloadContent(std::string url)
        : SimObject("IUpdateDownloadContent", IID_IUpdateDownloadContent), url_(std::move(url)) {}
    STDMETHODIMP get_DownloadUrl(BSTR* retval) override { return GetText("get_DownloadUrl", retval, url_); }

private:
    std::string url_;
};

class SimDownloadContentCollection : public SimObject<IUpdateDownloadContentCollection> {
public:
    explicit SimDownloadContentCollection(const std::vector<std::string>& urls)
        : SimObject("IUpdateDownloadContentCollection", IID_IUpdateDownloadContentCollection), urls_(urls) {}
    STDMETHODIMP get_Item(LONG index, IUpdateDownloadContent** retval) override {
        Call call(Kind(), "get_Item", {{"index", index}});
        if (retval && !call.Skipped() && (index < 0 || static_cast<std::size_t>(index) >= urls_.size())) {
            *retval = nullptr;
            return call.Done(E_INVALIDARG);
        }
        return HandOut<IUpdateDownloadContent>(
            call, retval, [&] { return new SimDownloadContent(urls_[static_cast<std::size_t>(index)]); });
    }
    SIM_NOT_IMPLEMENTED(get__NewEnum, (IUnknown**))
    STDMETHODIMP get_Count(LONG* retval) override {
        return GetValue("get_Count", retval, static_cast<LONG>(urls_.size()));
    }

private:
    std::vector<std::string> urls_;
};

// ---------------------------------------------------------------- updates

class SimUpdate : public SimObject<IUpdate2> {
public:
    explicit SimUpdate(std::shared_ptr<UpdateModel> model)
        : SimObject("IUpdate", IID_IUpdate2), model_(std::move(model)) {}

    const std::shared_ptr<UpdateModel>& Model() const { return model_; }

    STDMETHODIMP get_Title(BSTR* retval) override { return GetText("get_Title", retval, model_->title); }
    STDMETHODIMP get_AutoSelectOnWebSites(VARIANT_BOOL* retval) override {
        return GetValue("get_AutoSelectOnWebSites", retval, VARIANT_FALSE);
    }
    STDMETHODIMP get_BundledUpdates(IUpdateCollection** retval) override;
    STDMETHODIMP get_CanRequireSource(VARIANT_BOOL* retval) override {
        return GetValue("get_CanRequireSource", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_Categories, (ICategoryCollection**))
    SIM_NOT_IMPLEMENTED(get_Deadline, (VARIANT*))
    SIM_NOT_IMPLEMENTED(get_DeltaCompressedContentAvailable, (VARIANT_BOOL*))
    SIM_NOT_IMPLEMENTED(get_DeltaCompressedContentPreferred, (VARIANT_BOOL*))
    STDMETHODIMP get_Description(BSTR* retval) override { return GetText("get_Description", retval, std::string()); }
    STDMETHODIMP get_EulaAccepted(VARIANT_BOOL* retval) override {
        return GetValue("get_EulaAccepted", retval, Flag(!model_->eulaRequired || model_->eulaAccepted));
    }
    STDMETHODIMP get_EulaText(BSTR* retval) override { return GetText("get_EulaText", retval, std::string()); }
    SIM_NOT_IMPLEMENTED(get_HandlerID, (BSTR*))
    STDMETHODIMP get_Identity(IUpdateIdentity** retval) override {
        Call call(Kind(), "get_Identity", {{"update", model_->id}});
        return HandOut<IUpdateIdentity>(call, retval,
                                        [this] { return new SimUpdateIdentity(model_->id, model_->revision); });
    }
    SIM_NOT_IMPLEMENTED(get_Image, (IImageInformation**))
    SIM_NOT_IMPLEMENTED(get_InstallationBehavior, (IInstallationBehavior**))
    STDMETHODIMP get_IsBeta(VARIANT_BOOL* retval) override { return GetValue("get_IsBeta", retval, VARIANT_FALSE); }
    STDMETHODIMP get_IsDownloaded(VARIANT_BOOL* retval) override {
        return GetValue("get_IsDownloaded", retval, Flag(model_->IsDownloaded()));
    }
    STDMETHODIMP get_IsHidden(VARIANT_BOOL* retval) override { return GetValue("get_IsHidden", retval, VARIANT_FALSE); }
    SIM_NOT_IMPLEMENTED(put_IsHidden, (VARIANT_BOOL))
    STDMETHODIMP get_IsInstalled(VARIANT_BOOL* retval) override {
        Call call(Kind(), "get_IsInstalled", {{"update", model_->id}});
        if (!retval) return call.Done(E_POINTER);
        if (call.Skipped()) return call.Skip();
        *retval = Flag(model_->installed);
        return call.Done(S_OK);
    }
    STDMETHODIMP get_IsMandatory(VARIANT_BOOL* retval) override {
        return GetValue("get_IsMandatory", retval, VARIANT_FALSE);
    }
    STDMETHODIMP get_IsUninstallable(VARIANT_BOOL* retval) override {
        return GetValue("get_IsUninstallable", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_Languages, (IStringCollection**))
    SIM_NOT_IMPLEMENTED(get_LastDeploymentChangeTime, (DATE*))
    SIM_NOT_IMPLEMENTED(get_MaxDownloadSize, (DECIMAL*))
    SIM_NOT_IMPLEMENTED(get_MinDownloadSize, (DECIMAL*))
    SIM_NOT_IMPLEMENTED(get_MoreInfoUrls, (IStringCollection**))
    SIM_NOT_IMPLEMENTED(get_MsrcSeverity, (BSTR*))
    SIM_NOT_IMPLEMENTED(get_RecommendedCpuSpeed, (LONG*))
    SIM_NOT_IMPLEMENTED(get_RecommendedHardDiskSpace, (LONG*))
    SIM_NOT_IMPLEMENTED(get_RecommendedMemory, (LONG*))
    SIM_NOT_IMPLEMENTED(get_ReleaseNotes, (BSTR*))
    SIM_NOT_IMPLEMENTED(get_SecurityBulletinIDs, (IStringCollection**))
    SIM_NOT_IMPLEMENTED(get_SupersededUpdateIDs, (IStringCollection**))
    SIM_NOT_IMPLEMENTED(get_SupportUrl, (BSTR*))
    STDMETHODIMP get_Type(UpdateType* retval) override { return GetValue("get_Type", retval, utSoftware); }
    SIM_NOT_IMPLEMENTED(get_UninstallationNotes, (BSTR*))
    SIM_NOT_IMPLEMENTED(get_UninstallationBehavior, (IInstallationBehavior**))
    SIM_NOT_IMPLEMENTED(get_UninstallationSteps, (IStringCollection**))
    SIM_NOT_IMPLEMENTED(get_KBArticleIDs, (IStringCollection**))
    STDMETHODIMP AcceptEula() override {
        Call call(Kind(), "AcceptEula", {{"update", model_->id}});
        if (call.Skipped()) return call.Skip();
        model_->eulaAccepted = true;
        return call.Done(S_OK);
    }
    STDMETHODIMP get_DeploymentAction(DeploymentAction* retval) override {
        return GetValue("get_DeploymentAction", retval, daInstallation);
    }
    SIM_NOT_IMPLEMENTED(CopyFromCache, (BSTR, VARIANT_BOOL))
    STDMETHODIMP get_DownloadPriority(DownloadPriority* retval) override {
        return GetValue("get_DownloadPriority", retval, dpNormal);
    }
    STDMETHODIMP get_DownloadContents(IUpdateDownloadContentCollection** retval) override {
        Call call(Kind(), "get_DownloadContents", {{"update", model_->id}});
        return HandOut<IUpdateDownloadContentCollection>(
            call, retval, [this] { return new SimDownloadContentCollection(model_->contentUrls); });
    }

    // IUpdate2
    STDMETHODIMP get_RebootRequired(VARIANT_BOOL* retval) override {
        return GetValue("get_RebootRequired", retval, Flag(model_->installed && model_->install.rebootRequired));
    }
    STDMETHODIMP get_IsPresent(VARIANT_BOOL* retval) override {
        return GetValue("get_IsPresent", retval, Flag(model_->installed));
    }
    SIM_NOT_IMPLEMENTED(get_CveIDs, (IStringCollection**))

    // Each file must exist; the update's content then counts as cached.
    STDMETHODIMP CopyToCache(IStringCollection* pFiles) override {
        std::vector<WideString> files = pFiles ? StringsOf(pFiles) : std::vector<WideString>();
        json names = json::array();
        for (const WideString& file : files) names.push_back(Narrow(file.c_str()));
        Call call(Kind(), "CopyToCache", {{"update", model_->id}, {"files", names}});
        if (call.Skipped()) return call.Skip();
        // The agent documents that the strings must give the full paths of
        // the files, and E_INVALIDARG for a parameter value that is invalid.
        if (files.empty() || !std::all_of(files.begin(), files.end(), IsFullPath)) return call.Done(E_INVALIDARG);
        for (const WideString& file : files) {
            std::error_code error;
            if (!std::filesystem::is_regular_file(LocalPathOf(file.c_str()), error)) return call.Done(kFileNotFound);
        }
        model_->MarkDownloaded();
        return call.Done(S_OK);
    }

protected:
    void* Find(REFIID riid) override {
        if (IsEqualGUID(riid, IID_IUpdate)) return static_cast<IUpdate*>(this);
        return SimObject::Find(riid);
    }

private:
    std::shared_ptr<UpdateModel> model_;
};

HRESULT SimUpdate::get_BundledUpdates(IUpdateCollection** retval) {
    Call call(Kind(), "get_BundledUpdates", {{"update", model_->id}});
    return HandOut<IUpdateCollection>(call, retval, [this] { return new SimUpdateCollection(model_->bundled, true); });
}

}  // namespace

std::string IdOf(IUpdate* update) {
    auto* ours = dynamic_cast<SimUpdate*>(update);
    return ours ? ours->Model()->id : std::string("?");
}

SimUpdateCollection::SimUpdateCollection(const std::vector<std::shared_ptr<UpdateModel>>& models, bool readOnly)
    : SimUpdateCollection(readOnly) {
    for (const auto& model : models) items_.push_back(new SimUpdate(model));
}

std::vector<std::shared_ptr<UpdateModel>> SimUpdateCollection::Models() const {
    std::vector<std::shared_ptr<UpdateModel>> models;
    for (IUpdate* item : items_) {
        if (auto* ours = dynamic_cast<SimUpdate*>(item)) models.push_back(ours->Model());
    }
    return models;
}

}  // namespace wua_sim::detail
