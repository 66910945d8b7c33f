// The system registry on Windows: the platform's own calls (advapi32).
#pragma once

#include "platform/ComBase.h"

#include <winreg.h>
