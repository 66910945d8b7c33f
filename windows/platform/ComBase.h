// The object model's base vocabulary on Windows: the platform's own headers, and the
// component's helpers over them (platform/ComUtils.h, shared with every platform).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Names of the platform's macros that the component also uses: its own drawing names in its
// namespace, and IProvideClassInfo::GetClassInfo, which must keep its name in ocidl.h.
#undef CreateFontIndirect
#undef DrawText
#undef GetClassInfo
#undef OPAQUE
#undef TextOut
#undef TRANSPARENT

#include <objbase.h>
#include <ocidl.h>
#include <unknwn.h>

#include "platform/ComUtils.h"
