// Object creation: a class is found through the registry (ProgID\Clsid,
// CLSID\{...}\InprocServer32), its library is loaded, its exported DllGetClassObject hands
// out the class factory and the factory makes the object. Only in-process servers exist.
// The InprocServer32 value holds the library's file path as the file system's own bytes:
// registration writes and activation reads it through the narrow (ANSI) registry calls.
#pragma once

#include "platform/ComBase.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_ALL = 0x17;

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

struct COSERVERINFO;

// The object-model library needs no per-thread setup here: these succeed and do nothing.
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();

// ProgID\Clsid: NOERROR, or CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// CLSID\{...}\ProgID, allocated with CoTaskMemAlloc: S_OK or REGDB_E_CLASSNOTREG.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
// REGDB_E_CLASSNOTREG (no InprocServer32 entry), CO_E_DLLNOTFOUND (library does not load),
// CO_E_ERRORINDLL (no DllGetClassObject), or the status of DllGetClassObject.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                         REFIID riid, LPVOID* ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
// External locks and disconnection have nothing to do in process: S_OK.
HRESULT CoLockObjectExternal(LPUNKNOWN pUnk, BOOL fLock, BOOL fLastUnlockReleases);
HRESULT CoDisconnectObject(LPUNKNOWN pUnk, DWORD dwReserved);
