// What a host raises when the request itself is wrong: an unknown property name, a value
// that does not convert to the property's type, a symbology that has no such name.
#pragma once

#include "platform/SysUtils.h"

namespace quillax::host {

class EUsageError : public Exception {
public:
    using Exception::Exception;
};

} // namespace quillax::host
