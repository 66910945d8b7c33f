// Kemrin_Quillax.dll: the in-process server made of the object and hosting libraries. The
// server object and the class factory are made as the library's statics are constructed,
// before the loader calls DllMain; DllMain only declines the per-thread notifications.
#include "platform/ComBase.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
