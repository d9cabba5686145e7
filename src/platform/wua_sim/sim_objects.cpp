#include "sim_objects.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

#include "../com_error.h"
#include "../local_path.h"
#include "sim_catalog.h"
#include "sim_runtime.h"

namespace wua_sim {

using nlohmann::json;
using WideString = std::basic_string<WCHAR>;

namespace {

// ---------------------------------------------------------------- base

std::string Text(BSTR value) { return Narrow(value, SysStringLen(value)); }

// IUnknown and IDispatch for one simulated object. The dispatch interface
// offers no type information: the worker calls through the vtable only.
template <class Interface>
class SimObject : public Interface, public SimCounted {
public:
    SimObject(const char* kind, REFIID iid) : SimCounted(kind), iid_(iid) {}

    // The interface without a journal line or fault: for the simulation's own
    // use.
    HRESULT QueryQuietly(REFIID riid, void** object) {
        *object = Find(riid);
        if (!*object) return E_NOINTERFACE;
        Retain();
        return S_OK;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        Call call(Kind(), "QueryInterface", {{"iid", InterfaceName(riid)}});
        if (!object) return call.Done(E_POINTER);
        *object = nullptr;
        if (call.Skipped()) return call.Skip();
        return call.Done(QueryQuietly(riid, object));
    }

    STDMETHODIMP_(ULONG) AddRef() override {
        ULONG count = Retain();
        Journal(std::string(Kind()) + "::AddRef", json::object(), std::to_string(count));
        return count;
    }

    // An injected "throw" raises after the reference is dropped, so that a
    // caller's guard around Release can be exercised without a leak.
    STDMETHODIMP_(ULONG) Release() override {
        std::string subject = std::string(Kind()) + "::Release";
        std::optional<Fault> fault = FaultFor({subject});
        ULONG remaining = Drop();  // the object may be gone from here on
        bool raise = fault && fault->raise;
        Journal(subject, json::object(), std::to_string(remaining) + (raise ? " throw" : ""));
        if (raise) throw ComError(E_UNEXPECTED);
        return remaining;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

protected:
    virtual void* Find(REFIID riid) {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, iid_)) {
            return static_cast<Interface*>(this);
        }
        return nullptr;
    }

    HRESULT NotImplemented(const char* method) {
        Call call(Kind(), method);
        return call.Done(E_NOTIMPL);
    }

    template <class T>
    HRESULT GetValue(const char* method, T* out, T value) {
        Call call(Kind(), method);
        if (!out) return call.Done(E_POINTER);
        if (call.Skipped()) return call.Skip();
        *out = value;
        return call.Done(S_OK);
    }

    HRESULT GetText(const char* method, BSTR* out, const std::string& text) {
        Call call(Kind(), method);
        if (!out) return call.Done(E_POINTER);
        *out = nullptr;
        if (call.Skipped()) return call.Skip();
        return call.Done(NewBstr(text, out));
    }

    // Hands out a new object that make() builds (with one reference).
    template <class T>
    HRESULT HandOut(Call& call, T** out, const std::function<T*()>& make) {
        if (!out) return call.Done(E_POINTER);
        *out = nullptr;
        if (call.Skipped()) return call.Skip();
        *out = make();
        return call.Done(S_OK);
    }

    // Stores a property value (the caller's apply), journaled with it.
    HRESULT PutValue(const char* method, json value, const std::function<void()>& apply) {
        Call call(Kind(), method, {{"value", std::move(value)}});
        if (call.Skipped()) return call.Skip();
        apply();
        return call.Done(S_OK);
    }

private:
    IID iid_;
};

#define SIM_NOT_IMPLEMENTED(method, params) \
    STDMETHODIMP method params override { return NotImplemented(#method); }

// A read-write property kept in a member, journaled with its value.
#define SIM_PROPERTY(name, type, member)                                                              \
    STDMETHODIMP get_##name(type* retval) override { return GetValue("get_" #name, retval, member); } \
    STDMETHODIMP put_##name(type value) override {                                                    \
        return PutValue("put_" #name, value, [&] { member = value; });                                \
    }

// A read-write text property kept as UTF-8.
#define SIM_TEXT_PROPERTY(name, member)                                                              \
    STDMETHODIMP get_##name(BSTR* retval) override { return GetText("get_" #name, retval, member); } \
    STDMETHODIMP put_##name(BSTR value) override {                                                   \
        return PutValue("put_" #name, Text(value), [&] { member = Text(value); });                   \
    }

VARIANT_BOOL Flag(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// ---------------------------------------------------------------- string collection

class SimStringCollection : public SimObject<IStringCollection> {
public:
    SimStringCollection() : SimObject("IStringCollection", IID_IStringCollection) {}
    explicit SimStringCollection(std::vector<WideString> items) : SimStringCollection() { items_ = std::move(items); }

    const std::vector<WideString>& Items() const { return items_; }

    STDMETHODIMP get_Item(LONG index, BSTR* retval) override {
        Call call(Kind(), "get_Item", {{"index", index}});
        if (!retval) return call.Done(E_POINTER);
        *retval = nullptr;
        if (call.Skipped()) return call.Skip();
        if (!Valid(index)) return call.Done(E_INVALIDARG);
        const WideString& item = items_[static_cast<std::size_t>(index)];
        *retval = SysAllocStringLen(item.c_str(), static_cast<UINT>(item.size()));
        return call.Done(*retval ? S_OK : E_OUTOFMEMORY);
    }
    STDMETHODIMP put_Item(LONG index, BSTR value) override {
        Call call(Kind(), "put_Item", {{"index", index}, {"value", Text(value)}});
        if (call.Skipped()) return call.Skip();
        if (!Valid(index)) return call.Done(E_INVALIDARG);
        items_[static_cast<std::size_t>(index)] = Wide(value);
        return call.Done(S_OK);
    }
    SIM_NOT_IMPLEMENTED(get__NewEnum, (IUnknown**))
    STDMETHODIMP get_Count(LONG* retval) override {
        return GetValue("get_Count", retval, static_cast<LONG>(items_.size()));
    }
    STDMETHODIMP get_ReadOnly(VARIANT_BOOL* retval) override { return GetValue("get_ReadOnly", retval, VARIANT_FALSE); }
    STDMETHODIMP Add(BSTR value, LONG* retval) override {
        Call call(Kind(), "Add", {{"value", Text(value)}});
        if (call.Skipped()) return call.Skip();
        items_.push_back(Wide(value));
        if (retval) *retval = static_cast<LONG>(items_.size() - 1);
        return call.Done(S_OK);
    }
    STDMETHODIMP Clear() override {
        Call call(Kind(), "Clear");
        if (call.Skipped()) return call.Skip();
        items_.clear();
        return call.Done(S_OK);
    }
    STDMETHODIMP Copy(IStringCollection** retval) override {
        Call call(Kind(), "Copy");
        return HandOut<IStringCollection>(call, retval, [this] { return new SimStringCollection(items_); });
    }
    STDMETHODIMP Insert(LONG index, BSTR value) override {
        Call call(Kind(), "Insert", {{"index", index}, {"value", Text(value)}});
        if (call.Skipped()) return call.Skip();
        if (index < 0 || static_cast<std::size_t>(index) > items_.size()) return call.Done(E_INVALIDARG);
        items_.insert(items_.begin() + index, Wide(value));
        return call.Done(S_OK);
    }
    STDMETHODIMP RemoveAt(LONG index) override {
        Call call(Kind(), "RemoveAt", {{"index", index}});
        if (call.Skipped()) return call.Skip();
        if (!Valid(index)) return call.Done(E_INVALIDARG);
        items_.erase(items_.begin() + index);
        return call.Done(S_OK);
    }

private:
    static WideString Wide(BSTR value) { return value ? WideString(value, SysStringLen(value)) : WideString(); }
    bool Valid(LONG index) const { return index >= 0 && static_cast<std::size_t>(index) < items_.size(); }

    std::vector<WideString> items_;
};

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

class SimUpdateCollection;

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
        if (files.empty()) return call.Done(E_INVALIDARG);
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

std::string IdOf(IUpdate* update) {
    auto* ours = dynamic_cast<SimUpdate*>(update);
    return ours ? ours->Model()->id : std::string("?");
}

class SimUpdateCollection : public SimObject<IUpdateCollection> {
public:
    explicit SimUpdateCollection(bool readOnly = false)
        : SimObject("IUpdateCollection", IID_IUpdateCollection), readOnly_(readOnly) {}
    SimUpdateCollection(const std::vector<std::shared_ptr<UpdateModel>>& models, bool readOnly)
        : SimUpdateCollection(readOnly) {
        for (const auto& model : models) items_.push_back(new SimUpdate(model));
    }
    ~SimUpdateCollection() override {
        for (IUpdate* item : items_) DropInterface(item);
    }

    // The updates' models (foreign updates left out) and IDs, quietly.
    std::vector<std::shared_ptr<UpdateModel>> Models() const {
        std::vector<std::shared_ptr<UpdateModel>> models;
        for (IUpdate* item : items_) {
            if (auto* ours = dynamic_cast<SimUpdate*>(item)) models.push_back(ours->Model());
        }
        return models;
    }
    json Ids() const {
        json ids = json::array();
        for (IUpdate* item : items_) ids.push_back(IdOf(item));
        return ids;
    }

    STDMETHODIMP get_Item(LONG index, IUpdate** retval) override {
        Call call(Kind(), "get_Item", {{"index", index}});
        if (!retval) return call.Done(E_POINTER);
        *retval = nullptr;
        if (call.Skipped()) return call.Skip();
        if (!Valid(index)) return call.Done(E_INVALIDARG);
        IUpdate* item = items_[static_cast<std::size_t>(index)];
        Hold(item);
        *retval = item;
        return call.Done(S_OK);
    }
    STDMETHODIMP put_Item(LONG index, IUpdate* value) override {
        Call call(Kind(), "put_Item", {{"index", index}, {"update", value ? IdOf(value) : "null"}});
        if (call.Skipped()) return call.Skip();
        if (readOnly_) return call.Done(kNotSupported);
        if (!Valid(index) || !value) return call.Done(E_INVALIDARG);
        Hold(value);
        DropInterface(items_[static_cast<std::size_t>(index)]);
        items_[static_cast<std::size_t>(index)] = value;
        return call.Done(S_OK);
    }
    SIM_NOT_IMPLEMENTED(get__NewEnum, (IUnknown**))
    STDMETHODIMP get_Count(LONG* retval) override {
        return GetValue("get_Count", retval, static_cast<LONG>(items_.size()));
    }
    STDMETHODIMP get_ReadOnly(VARIANT_BOOL* retval) override {
        return GetValue("get_ReadOnly", retval, Flag(readOnly_));
    }
    STDMETHODIMP Add(IUpdate* value, LONG* retval) override {
        Call call(Kind(), "Add", {{"update", value ? IdOf(value) : "null"}});
        if (call.Skipped()) return call.Skip();
        if (readOnly_) return call.Done(kNotSupported);
        if (!value) return call.Done(E_INVALIDARG);
        Hold(value);
        items_.push_back(value);
        if (retval) *retval = static_cast<LONG>(items_.size() - 1);
        return call.Done(S_OK);
    }
    STDMETHODIMP Clear() override {
        Call call(Kind(), "Clear");
        if (call.Skipped()) return call.Skip();
        if (readOnly_) return call.Done(kNotSupported);
        for (IUpdate* item : items_) DropInterface(item);
        items_.clear();
        return call.Done(S_OK);
    }
    STDMETHODIMP Copy(IUpdateCollection** retval) override {
        Call call(Kind(), "Copy");
        return HandOut<IUpdateCollection>(call, retval, [this] {
            auto* copy = new SimUpdateCollection(false);
            for (IUpdate* item : items_) {
                Hold(item);
                copy->items_.push_back(item);
            }
            return copy;
        });
    }
    STDMETHODIMP Insert(LONG index, IUpdate* value) override {
        Call call(Kind(), "Insert", {{"index", index}, {"update", value ? IdOf(value) : "null"}});
        if (call.Skipped()) return call.Skip();
        if (readOnly_) return call.Done(kNotSupported);
        if (index < 0 || static_cast<std::size_t>(index) > items_.size() || !value) return call.Done(E_INVALIDARG);
        Hold(value);
        items_.insert(items_.begin() + index, value);
        return call.Done(S_OK);
    }
    STDMETHODIMP RemoveAt(LONG index) override {
        Call call(Kind(), "RemoveAt", {{"index", index}});
        if (call.Skipped()) return call.Skip();
        if (readOnly_) return call.Done(kNotSupported);
        if (!Valid(index)) return call.Done(E_INVALIDARG);
        DropInterface(items_[static_cast<std::size_t>(index)]);
        items_.erase(items_.begin() + index);
        return call.Done(S_OK);
    }

private:
    static void Hold(IUpdate* item) { HoldInterface(item); }
    bool Valid(LONG index) const { return index >= 0 && static_cast<std::size_t>(index) < items_.size(); }

    bool readOnly_;
    std::vector<IUpdate*> items_;
};

HRESULT SimUpdate::get_BundledUpdates(IUpdateCollection** retval) {
    Call call(Kind(), "get_BundledUpdates", {{"update", model_->id}});
    return HandOut<IUpdateCollection>(call, retval, [this] { return new SimUpdateCollection(model_->bundled, true); });
}

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

// The overall result code of several updates' outcomes, as the agent sums
// them up: all alike gives that code, some succeeded gives "succeeded with
// errors", none succeeded gives "failed".
LONG OverallCode(const std::vector<Outcome>& outcomes) {
    if (std::all_of(outcomes.begin(), outcomes.end(),
                    [&](const Outcome& o) { return o.resultCode == outcomes.front().resultCode; })) {
        return outcomes.front().resultCode;
    }
    bool anySucceeded = std::any_of(outcomes.begin(), outcomes.end(),
                                    [](const Outcome& o) { return o.resultCode == 2 || o.resultCode == 3; });
    return anySucceeded ? 3 : 4;
}

HRESULT OverallHresult(const std::vector<Outcome>& outcomes) {
    for (const Outcome& outcome : outcomes) {
        if (outcome.hresult != S_OK) return outcome.hresult;
    }
    return S_OK;
}

// ---------------------------------------------------------------- search

class SimSearchResult : public SimObject<ISearchResult> {
public:
    explicit SimSearchResult(const std::vector<std::shared_ptr<UpdateModel>>& found)
        : SimObject("ISearchResult", IID_ISearchResult), updates_(new SimUpdateCollection(found, true)) {}
    ~SimSearchResult() override { updates_->Drop(); }

    STDMETHODIMP get_ResultCode(OperationResultCode* retval) override {
        return GetValue("get_ResultCode", retval, orcSucceeded);
    }
    SIM_NOT_IMPLEMENTED(get_RootCategories, (ICategoryCollection**))
    STDMETHODIMP get_Updates(IUpdateCollection** retval) override {
        Call call(Kind(), "get_Updates");
        return HandOut<IUpdateCollection>(call, retval, [this] {
            updates_->Retain();
            return updates_;
        });
    }
    SIM_NOT_IMPLEMENTED(get_Warnings, (IUpdateExceptionCollection**))

private:
    SimUpdateCollection* updates_;
};

class SimSearcher : public SimObject<IUpdateSearcher> {
public:
    SimSearcher() : SimObject("IUpdateSearcher", IID_IUpdateSearcher) {}

    SIM_PROPERTY(CanAutomaticallyUpgradeService, VARIANT_BOOL, canUpgrade_)
    SIM_TEXT_PROPERTY(ClientApplicationID, clientApplicationId_)
    SIM_PROPERTY(IncludePotentiallySupersededUpdates, VARIANT_BOOL, includeSuperseded_)
    SIM_PROPERTY(ServerSelection, ServerSelection, serverSelection_)
    SIM_NOT_IMPLEMENTED(BeginSearch, (BSTR, IUnknown*, VARIANT, ISearchJob**))
    SIM_NOT_IMPLEMENTED(EndSearch, (ISearchJob*, ISearchResult**))
    SIM_NOT_IMPLEMENTED(EscapeString, (BSTR, BSTR*))
    SIM_NOT_IMPLEMENTED(QueryHistory, (LONG, LONG, IUpdateHistoryEntryCollection**))

    // Searches the catalog of the service that the searcher is aimed at:
    // with server selection ssOthers the one its ServiceID names, otherwise
    // the Microsoft Update service.
    STDMETHODIMP Search(BSTR criteria, ISearchResult** retval) override {
        Call call(Kind(), "Search",
                  {{"criteria", Text(criteria)},
                   {"service_id", serviceId_},
                   {"server_selection", static_cast<int>(serverSelection_)},
                   {"client_application_id", clientApplicationId_}});
        if (!retval) return call.Done(E_POINTER);
        *retval = nullptr;
        if (call.Skipped()) return call.Skip();
        std::optional<Criteria> parsed = ParseCriteria(Text(criteria));
        if (!parsed) return call.Done(kInvalidCriteria);
        std::string service = serverSelection_ == ssOthers ? serviceId_ : std::string(kMicrosoftUpdateServiceId);
        std::shared_ptr<Catalog> catalog;
        if (HRESULT hr = CatalogOfService(service, catalog); FAILED(hr)) return call.Done(hr);
        std::vector<std::shared_ptr<UpdateModel>> found = FindUpdates(*catalog, *parsed);
        call.Arguments()["found"] = found.size();
        *retval = new SimSearchResult(found);
        return call.Done(S_OK);
    }
    SIM_PROPERTY(Online, VARIANT_BOOL, online_)
    SIM_NOT_IMPLEMENTED(GetTotalHistoryCount, (LONG*))
    SIM_TEXT_PROPERTY(ServiceID, serviceId_)

private:
    VARIANT_BOOL canUpgrade_ = VARIANT_FALSE;
    VARIANT_BOOL includeSuperseded_ = VARIANT_FALSE;
    VARIANT_BOOL online_ = VARIANT_TRUE;
    ServerSelection serverSelection_ = ssDefault;
    std::string clientApplicationId_;
    std::string serviceId_;
};

// ---------------------------------------------------------------- download

class SimDownloadResult : public SimObject<IDownloadResult> {
public:
    explicit SimDownloadResult(const std::vector<Outcome>& outcomes)
        : SimObject("IDownloadResult", IID_IDownloadResult),
          hresult_(OverallHresult(outcomes)),
          resultCode_(OverallCode(outcomes)) {}
    STDMETHODIMP get_HResult(LONG* retval) override { return GetValue("get_HResult", retval, hresult_); }
    STDMETHODIMP get_ResultCode(OperationResultCode* retval) override {
        return GetValue("get_ResultCode", retval, static_cast<OperationResultCode>(resultCode_));
    }
    SIM_NOT_IMPLEMENTED(GetUpdateResult, (LONG, IUpdateDownloadResult**))

private:
    LONG hresult_;
    LONG resultCode_;
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
    STDMETHODIMP Download(IDownloadResult** retval) override {
        Call call(Kind(), "Download", {{"updates", HeldUpdates::Ids(updates_.Get())}});
        if (!retval) return call.Done(E_POINTER);
        *retval = nullptr;
        if (call.Skipped()) return call.Skip();
        std::vector<std::shared_ptr<UpdateModel>> models = updates_.Models();
        if (models.empty()) return call.Done(kNoUpdate);
        std::vector<Outcome> outcomes;
        for (const auto& model : models) {
            outcomes.push_back(model->download);
            if (model->download.resultCode == 2 || model->download.resultCode == 3) model->MarkDownloaded();
        }
        *retval = new SimDownloadResult(outcomes);
        return call.Done(S_OK);
    }
    SIM_NOT_IMPLEMENTED(EndDownload, (IDownloadJob*, IDownloadResult**))

private:
    DownloadPriority priority_ = dpNormal;
};

// ---------------------------------------------------------------- installation

class SimUpdateInstallationResult : public SimObject<IUpdateInstallationResult> {
public:
    explicit SimUpdateInstallationResult(const Outcome& outcome)
        : SimObject("IUpdateInstallationResult", IID_IUpdateInstallationResult), outcome_(outcome) {}
    STDMETHODIMP get_HResult(LONG* retval) override { return GetValue("get_HResult", retval, outcome_.hresult); }
    STDMETHODIMP get_RebootRequired(VARIANT_BOOL* retval) override {
        return GetValue("get_RebootRequired", retval, Flag(outcome_.rebootRequired));
    }
    STDMETHODIMP get_ResultCode(OperationResultCode* retval) override {
        return GetValue("get_ResultCode", retval, static_cast<OperationResultCode>(outcome_.resultCode));
    }

private:
    Outcome outcome_;
};

class SimInstallationResult : public SimObject<IInstallationResult> {
public:
    explicit SimInstallationResult(std::vector<Outcome> outcomes)
        : SimObject("IInstallationResult", IID_IInstallationResult), outcomes_(std::move(outcomes)) {}
    STDMETHODIMP get_HResult(LONG* retval) override {
        return GetValue("get_HResult", retval, static_cast<LONG>(OverallHresult(outcomes_)));
    }
    STDMETHODIMP get_RebootRequired(VARIANT_BOOL* retval) override {
        bool reboot =
            std::any_of(outcomes_.begin(), outcomes_.end(), [](const Outcome& o) { return o.rebootRequired; });
        return GetValue("get_RebootRequired", retval, Flag(reboot));
    }
    STDMETHODIMP get_ResultCode(OperationResultCode* retval) override {
        return GetValue("get_ResultCode", retval, static_cast<OperationResultCode>(OverallCode(outcomes_)));
    }
    STDMETHODIMP GetUpdateResult(LONG updateIndex, IUpdateInstallationResult** retval) override {
        Call call(Kind(), "GetUpdateResult", {{"index", updateIndex}});
        if (retval && !call.Skipped() &&
            (updateIndex < 0 || static_cast<std::size_t>(updateIndex) >= outcomes_.size())) {
            *retval = nullptr;
            return call.Done(E_INVALIDARG);
        }
        return HandOut<IUpdateInstallationResult>(call, retval, [&] {
            return new SimUpdateInstallationResult(outcomes_[static_cast<std::size_t>(updateIndex)]);
        });
    }

private:
    std::vector<Outcome> outcomes_;
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
    STDMETHODIMP Install(IInstallationResult** retval) override {
        Call call(Kind(), "Install", {{"updates", HeldUpdates::Ids(updates_.Get())}});
        if (!retval) return call.Done(E_POINTER);
        *retval = nullptr;
        if (call.Skipped()) return call.Skip();
        std::vector<std::shared_ptr<UpdateModel>> models = updates_.Models();
        if (models.empty()) return call.Done(kNoUpdate);
        std::vector<Outcome> outcomes;
        for (const auto& model : models) {
            Outcome outcome = model->install;
            if (model->eulaRequired && !model->eulaAccepted) {
                outcome = Outcome{4, kEulasDeclined, false};
            } else if (!model->IsDownloaded()) {
                outcome = Outcome{4, kSourceAbsent, false};
            }
            if (outcome.resultCode == 2 || outcome.resultCode == 3) model->installed = true;
            outcomes.push_back(outcome);
        }
        *retval = new SimInstallationResult(outcomes);
        return call.Done(S_OK);
    }
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

// ---------------------------------------------------------------- session

class SimSession : public SimObject<IUpdateSession> {
public:
    SimSession() : SimObject("IUpdateSession", IID_IUpdateSession) {}

    SIM_TEXT_PROPERTY(ClientApplicationID, clientApplicationId_)
    STDMETHODIMP get_ReadOnly(VARIANT_BOOL* retval) override { return GetValue("get_ReadOnly", retval, VARIANT_FALSE); }
    SIM_NOT_IMPLEMENTED(get_WebProxy, (IWebProxy**))
    SIM_NOT_IMPLEMENTED(put_WebProxy, (IWebProxy*))
    STDMETHODIMP CreateUpdateSearcher(IUpdateSearcher** retval) override {
        Call call(Kind(), "CreateUpdateSearcher");
        return HandOut<IUpdateSearcher>(call, retval, [] { return new SimSearcher(); });
    }
    STDMETHODIMP CreateUpdateDownloader(IUpdateDownloader** retval) override {
        Call call(Kind(), "CreateUpdateDownloader");
        return HandOut<IUpdateDownloader>(call, retval, [] { return new SimDownloader(); });
    }
    STDMETHODIMP CreateUpdateInstaller(IUpdateInstaller** retval) override {
        Call call(Kind(), "CreateUpdateInstaller");
        return HandOut<IUpdateInstaller>(call, retval, [] { return new SimInstaller(); });
    }

private:
    std::string clientApplicationId_;
};

// ---------------------------------------------------------------- services

class SimService : public SimObject<IUpdateService> {
public:
    SimService(std::string name, std::string id)
        : SimObject("IUpdateService", IID_IUpdateService), name_(std::move(name)), id_(std::move(id)) {}

    STDMETHODIMP get_Name(BSTR* retval) override { return GetText("get_Name", retval, name_); }
    SIM_NOT_IMPLEMENTED(get_ContentValidationCert, (VARIANT*))
    SIM_NOT_IMPLEMENTED(get_ExpirationDate, (DATE*))
    STDMETHODIMP get_IsManaged(VARIANT_BOOL* retval) override {
        return GetValue("get_IsManaged", retval, VARIANT_FALSE);
    }
    STDMETHODIMP get_IsRegisteredWithAU(VARIANT_BOOL* retval) override {
        return GetValue("get_IsRegisteredWithAU", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_IssueDate, (DATE*))
    STDMETHODIMP get_OffersWindowsUpdates(VARIANT_BOOL* retval) override {
        return GetValue("get_OffersWindowsUpdates", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_RedirectUrls, (IStringCollection**))
    STDMETHODIMP get_ServiceID(BSTR* retval) override { return GetText("get_ServiceID", retval, id_); }
    STDMETHODIMP get_IsScanPackageService(VARIANT_BOOL* retval) override {
        return GetValue("get_IsScanPackageService", retval, VARIANT_TRUE);
    }
    STDMETHODIMP get_CanRegisterWithAU(VARIANT_BOOL* retval) override {
        return GetValue("get_CanRegisterWithAU", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_ServiceUrl, (BSTR*))
    SIM_NOT_IMPLEMENTED(get_SetupPrefix, (BSTR*))

private:
    std::string name_;
    std::string id_;
};

class SimServiceManager : public SimObject<IUpdateServiceManager> {
public:
    SimServiceManager() : SimObject("IUpdateServiceManager", IID_IUpdateServiceManager) {}

    SIM_NOT_IMPLEMENTED(get_Services, (IUpdateServiceCollection**))
    SIM_NOT_IMPLEMENTED(AddService, (BSTR, BSTR, IUpdateService**))
    SIM_NOT_IMPLEMENTED(RegisterServiceWithAU, (BSTR))
    SIM_NOT_IMPLEMENTED(RemoveService, (BSTR))
    SIM_NOT_IMPLEMENTED(UnregisterServiceWithAU, (BSTR))

    // The scan package is the catalog of the service that it registers.
    STDMETHODIMP AddScanPackageService(BSTR serviceName, BSTR scanFileLocation, LONG flags,
                                       IUpdateService** ppService) override {
        Call call(Kind(), "AddScanPackageService",
                  {{"name", Text(serviceName)}, {"path", Text(scanFileLocation)}, {"flags", flags}});
        if (!ppService) return call.Done(E_POINTER);
        *ppService = nullptr;
        if (call.Skipped()) return call.Skip();
        if (!scanFileLocation || SysStringLen(scanFileLocation) == 0) return call.Done(E_INVALIDARG);
        std::shared_ptr<Catalog> catalog;
        if (HRESULT hr = ReadCatalog(LocalPathOf(scanFileLocation), catalog); FAILED(hr)) return call.Done(hr);
        std::string id = RegisterScanPackage(catalog);
        call.Arguments()["service_id"] = id;
        *ppService = new SimService(Text(serviceName), id);
        return call.Done(S_OK);
    }
    SIM_NOT_IMPLEMENTED(SetOption, (BSTR, VARIANT))
};

// ---------------------------------------------------------------- classes

struct ServedClass {
    const CLSID* clsid;
    const char* name;
    std::function<HRESULT(REFIID, void**)> create;
};

template <class T>
HRESULT Create(REFIID riid, void** object) {
    T* created = new T();
    HRESULT hr = created->QueryQuietly(riid, object);
    created->Drop();
    return hr;
}

const std::vector<ServedClass>& ServedClasses() {
    static const std::vector<ServedClass> classes = {
        {&CLSID_UpdateSession, "UpdateSession", Create<SimSession>},
        {&CLSID_UpdateServiceManager, "UpdateServiceManager", Create<SimServiceManager>},
        {&CLSID_UpdateCollection, "UpdateCollection", Create<SimUpdateCollection>},
        {&CLSID_StringCollection, "StringCollection", Create<SimStringCollection>},
    };
    return classes;
}

const ServedClass* FindClass(REFCLSID clsid) {
    for (const ServedClass& served : ServedClasses()) {
        if (IsEqualGUID(*served.clsid, clsid)) return &served;
    }
    return nullptr;
}

}  // namespace

const char* ClassName(REFCLSID clsid) {
    const ServedClass* served = FindClass(clsid);
    return served ? served->name : nullptr;
}

HRESULT CreateObject(REFCLSID clsid, REFIID riid, void** object) {
    *object = nullptr;
    const ServedClass* served = FindClass(clsid);
    return served ? served->create(riid, object) : REGDB_E_CLASSNOTREG;
}

std::string InterfaceName(REFIID riid) {
    static const std::vector<std::pair<const IID*, const char*>> names = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IDispatch, "IDispatch"},
        {&IID_IUpdateSession, "IUpdateSession"},
        {&IID_IUpdateSearcher, "IUpdateSearcher"},
        {&IID_IUpdateServiceManager, "IUpdateServiceManager"},
        {&IID_IUpdateService, "IUpdateService"},
        {&IID_ISearchResult, "ISearchResult"},
        {&IID_IUpdateCollection, "IUpdateCollection"},
        {&IID_IUpdate, "IUpdate"},
        {&IID_IUpdate2, "IUpdate2"},
        {&IID_IUpdateIdentity, "IUpdateIdentity"},
        {&IID_IUpdateDownloadContentCollection, "IUpdateDownloadContentCollection"},
        {&IID_IUpdateDownloadContent, "IUpdateDownloadContent"},
        {&IID_IStringCollection, "IStringCollection"},
        {&IID_IUpdateDownloader, "IUpdateDownloader"},
        {&IID_IDownloadResult, "IDownloadResult"},
        {&IID_IUpdateInstaller, "IUpdateInstaller"},
        {&IID_IInstallationResult, "IInstallationResult"},
        {&IID_IUpdateInstallationResult, "IUpdateInstallationResult"},
    };
    for (const auto& [iid, name] : names) {
        if (IsEqualGUID(*iid, riid)) return name;
    }
    return GuidText(riid);
}

}  // namespace wua_sim
