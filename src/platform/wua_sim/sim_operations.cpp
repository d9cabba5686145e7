#include "sim_operations.h"

#include <algorithm>

namespace wua_sim::detail {

namespace {

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

}  // namespace

HRESULT SimDownloader::Download(IDownloadResult** retval) {
    Call call(Kind(), "Download", {{"updates", HeldUpdates::Ids(updates_.Get())}});
    if (!retval) return call.Done(E_POINTER);
    *retval = nullptr;
    if (call.Skipped()) return call.Skip();
    // The agent documents WU_E_NO_UPDATE when the Updates property is not
    // set or is an empty collection.
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

HRESULT SimInstaller::Install(IInstallationResult** retval) {
    Call call(Kind(), "Install", {{"updates", HeldUpdates::Ids(updates_.Get())}});
    if (!retval) return call.Done(E_POINTER);
    *retval = nullptr;
    if (call.Skipped()) return call.Skip();
    // As for Download: WU_E_NO_UPDATE when Updates is not set or is empty.
    std::vector<std::shared_ptr<UpdateModel>> models = updates_.Models();
    if (models.empty()) return call.Done(kNoUpdate);
    std::vector<Outcome> outcomes;
    for (const auto& model : models) {
        Outcome outcome = model->install;
        // An update whose license terms are not accepted (IUpdate::EulaAccepted
        // false until AcceptEula) is not installed: the call itself runs, and
        // the update's result fails with WU_E_EULAS_DECLINED, the agent's code
        // for declined license terms.
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

}  // namespace wua_sim::detail
