// Object creation, external locks and disconnection on Windows: the platform's own (ole32).
#pragma once

#include "platform/ComBase.h"
