// The exported entry points of the in-process server: the class factory, whether the library
// may be unloaded, and the registration and its removal.
#pragma once

#include "platform/ComBase.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();
