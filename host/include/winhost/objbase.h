// COM of the simulated host: per-thread initialisation and the one class the program creates,
// the shell's taskbar list.
#pragma once

#include "winhost/base.h"
#include "winhost/guiddef.h"

extern "C++" {

#define STDMETHODCALLTYPE

typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;

#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)

typedef enum tagCLSCTX {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10
} CLSCTX;
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

struct ITaskbarList : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE HrInit() = 0;
  virtual HRESULT STDMETHODCALLTYPE AddTab(HWND window) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteTab(HWND window) = 0;
  virtual HRESULT STDMETHODCALLTYPE ActivateTab(HWND window) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND window) = 0;

 protected:
  ~ITaskbarList() = default;
};

extern const IID IID_IUnknown;       // {00000000-0000-0000-C000-000000000046}
extern const CLSID CLSID_TaskbarList;  // {56FDF344-FD6D-11D0-958A-006097C9A090}
extern const IID IID_ITaskbarList;     // {56FDF342-FD6D-11D0-958A-006097C9A090}

// Per-thread initialisation of the single-threaded apartment. The first call on a thread returns
// S_OK, every further one S_FALSE (each must be balanced by CoUninitialize).
HRESULT WINAPI CoInitialize(LPVOID reserved);
void WINAPI CoUninitialize();

// Creates CLSID_TaskbarList (IID_IUnknown or IID_ITaskbarList). On a thread without COM:
// CO_E_NOTINITIALIZED; an unknown class: REGDB_E_CLASSNOTREG; an outer object:
// CLASS_E_NOAGGREGATION; another interface: E_NOINTERFACE. *object is null on failure.
HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID iid, LPVOID* object);

}  // extern "C++"
