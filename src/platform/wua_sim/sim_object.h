// The base of every simulated object (IUnknown and IDispatch, journaled and
// fault-injectable) and the helpers that the families of objects share.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/com_error.h"
#include "platform/platform.h"
#include "platform/wide_string.h"
#include "sim_objects.h"
#include "sim_runtime.h"

namespace wua_sim::detail {

using nlohmann::json;

inline std::string Text(BSTR value) {
    return Narrow(value, SysStringLen(value));
}

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
    STDMETHODIMP method params override {   \
        return NotImplemented(#method);     \
    }

// A read-write property kept in a member, journaled with its value.
#define SIM_PROPERTY(name, type, member)                               \
    STDMETHODIMP get_##name(type* retval) override {                   \
        return GetValue("get_" #name, retval, member);                 \
    }                                                                  \
    STDMETHODIMP put_##name(type value) override {                     \
        return PutValue("put_" #name, value, [&] { member = value; }); \
    }

// A read-write text property kept as UTF-8.
#define SIM_TEXT_PROPERTY(name, member)                                            \
    STDMETHODIMP get_##name(BSTR* retval) override {                               \
        return GetText("get_" #name, retval, member);                              \
    }                                                                              \
    STDMETHODIMP put_##name(BSTR value) override {                                 \
        return PutValue("put_" #name, Text(value), [&] { member = Text(value); }); \
    }

inline VARIANT_BOOL Flag(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace wua_sim::detail
