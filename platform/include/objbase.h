// COM subset: identifiers, IUnknown, initialisation, object creation, task
// memory, strings and variants, property bags and monikers. Our own Linux
// rendering; the published identifier and result values are kept so that
// code written against COM reads the same here. Objects come from the
// process's COM backend (com_backend.h): GStreamer by default.
#pragma once

#include "win_base.h"

#include <cstring>

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

#define CLSCTX_INPROC_SERVER 0x1
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

extern const IID IID_IUnknown;
extern const IID IID_IPropertyBag;
extern const IID IID_IMoniker;
extern const IID IID_IEnumMoniker;

// Counts per thread, as COM does: the first call returns S_OK, later ones
// S_FALSE; each successful call is paired with one CoUninitialize.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);
LPVOID CoTaskMemAlloc(SIZE_T bytes);
void CoTaskMemFree(LPVOID memory);

typedef WCHAR OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
// Length-prefixed UTF-16 string; SysFreeString releases it.
BSTR SysAllocString(const OLECHAR* text);
void SysFreeString(BSTR text);

typedef unsigned short VARTYPE;
enum VARENUM { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8 };
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        LONGLONG llVal;
        BSTR bstrVal;
    };
};
void VariantInit(VARIANT* variant);
// Frees what the variant holds and leaves it empty.
HRESULT VariantClear(VARIANT* variant);

struct IErrorLog;
struct IBindCtx;

struct IPropertyBag : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* value) = 0;
};

struct IMoniker : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* context, IMoniker* left, REFIID iid,
                                                   void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* context, IMoniker* left, REFIID iid,
                                                    void** object) = 0;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};
