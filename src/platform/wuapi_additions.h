// The update agent's interfaces IUpdate2, IUpdateService and
// IUpdateServiceManager and the classes UpdateServiceManager,
// UpdateCollection and StringCollection, with the Windows SDK's method order
// and identifiers. MinGW-w64's wuapi.h lacks them, so both platforms take
// them from here. The including header defines WUA_DEFINE_GUID.

// The declarations keep the Windows SDK header's layout.
// clang-format off
#pragma once

struct IUpdateServiceCollection;

// {144FE9B0-D23D-4A8B-8634-FB4457533B7A}
WUA_DEFINE_GUID(IID_IUpdate2, 0x144fe9b0, 0xd23d, 0x4a8b, 0x86, 0x34, 0xfb, 0x44, 0x57, 0x53, 0x3b, 0x7a);
struct IUpdate2 : public IUpdate {
    virtual HRESULT STDMETHODCALLTYPE get_RebootRequired(
        VARIANT_BOOL *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_IsPresent(
        VARIANT_BOOL *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_CveIDs(
        IStringCollection **retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE CopyToCache(
        IStringCollection *pFiles) = 0;
};

// {76B3B17E-AED6-4DA5-85F0-83587F81ABE3}
WUA_DEFINE_GUID(IID_IUpdateService, 0x76b3b17e, 0xaed6, 0x4da5, 0x85, 0xf0, 0x83, 0x58, 0x7f, 0x81, 0xab, 0xe3);
struct IUpdateService : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Name(
        BSTR *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_ContentValidationCert(
        VARIANT *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_ExpirationDate(
        DATE *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_IsManaged(
        VARIANT_BOOL *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_IsRegisteredWithAU(
        VARIANT_BOOL *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_IssueDate(
        DATE *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_OffersWindowsUpdates(
        VARIANT_BOOL *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_RedirectUrls(
        IStringCollection **retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_ServiceID(
        BSTR *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_IsScanPackageService(
        VARIANT_BOOL *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_CanRegisterWithAU(
        VARIANT_BOOL *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_ServiceUrl(
        BSTR *retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE get_SetupPrefix(
        BSTR *retval) = 0;
};

// {23857E3C-02BA-44A3-9423-B1C900805F37}
WUA_DEFINE_GUID(IID_IUpdateServiceManager, 0x23857e3c, 0x02ba, 0x44a3, 0x94, 0x23, 0xb1, 0xc9, 0x00, 0x80, 0x5f, 0x37);
struct IUpdateServiceManager : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Services(
        IUpdateServiceCollection **retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE AddService(
        BSTR serviceID,
        BSTR authorizationCabPath,
        IUpdateService **retval) = 0;

    virtual HRESULT STDMETHODCALLTYPE RegisterServiceWithAU(
        BSTR serviceID) = 0;

    virtual HRESULT STDMETHODCALLTYPE RemoveService(
        BSTR serviceID) = 0;

    virtual HRESULT STDMETHODCALLTYPE UnregisterServiceWithAU(
        BSTR serviceID) = 0;

    virtual HRESULT STDMETHODCALLTYPE AddScanPackageService(
        BSTR serviceName,
        BSTR scanFileLocation,
        LONG flags,
        IUpdateService **ppService) = 0;

    virtual HRESULT STDMETHODCALLTYPE SetOption(
        BSTR optionName,
        VARIANT optionValue) = 0;
};

// {F8D253D9-89A4-4DAA-87B6-1168369F0B21}
WUA_DEFINE_GUID(CLSID_UpdateServiceManager, 0xf8d253d9, 0x89a4, 0x4daa, 0x87, 0xb6, 0x11, 0x68, 0x36, 0x9f, 0x0b, 0x21);
// {13639463-00DB-4646-803D-528026140D88}
WUA_DEFINE_GUID(CLSID_UpdateCollection, 0x13639463, 0x00db, 0x4646, 0x80, 0x3d, 0x52, 0x80, 0x26, 0x14, 0x0d, 0x88);
// {72C97D74-7C3B-40AE-B77D-ABDB22EBA6FB}
WUA_DEFINE_GUID(CLSID_StringCollection, 0x72c97d74, 0x7c3b, 0x40ae, 0xb7, 0x7d, 0xab, 0xdb, 0x22, 0xeb, 0xa6, 0xfb);
