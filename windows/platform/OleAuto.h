// Automation on Windows: BSTR, VARIANT, SAFEARRAY, IDispatch, type information and error
// records from the platform's own headers (oleaut32), and the component's helpers over them
// (platform/OleUtils.h, shared with every platform).
#pragma once

#include "platform/ComBase.h"

#include <oaidl.h>
#include <oleauto.h>

#include "platform/OleUtils.h"
