// Updates and the collections that hold them or strings: the update
// collection is what searches hand out and what downloaders and installers
// are given; both collections are classes that the worker creates.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim_catalog.h"
#include "sim_object.h"

namespace wua_sim::detail {

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

// The ID of an update of ours, "?" for any other.
std::string IdOf(IUpdate* update);

// ---------------------------------------------------------------- update collection

class SimUpdateCollection : public SimObject<IUpdateCollection> {
public:
    explicit SimUpdateCollection(bool readOnly = false)
        : SimObject("IUpdateCollection", IID_IUpdateCollection), readOnly_(readOnly) {}
    SimUpdateCollection(const std::vector<std::shared_ptr<UpdateModel>>& models, bool readOnly);
    ~SimUpdateCollection() override {
        for (IUpdate* item : items_) DropInterface(item);
    }

    // The updates' models (foreign updates left out) and IDs, quietly.
    std::vector<std::shared_ptr<UpdateModel>> Models() const;
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
        // The agent documents WU_E_NOT_SUPPORTED for a read-only collection
        // (those of searches and bundled updates) and E_POINTER for a null
        // update.
        if (readOnly_) return call.Done(kNotSupported);
        if (!value) return call.Done(E_POINTER);
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

}  // namespace wua_sim::detail
