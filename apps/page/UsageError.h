// What a host raises when the request itself is wrong: an unknown property name, a value
// that does not convert to the property's type, a symbology that has no such name.
#pragma once

#include "platform/SysUtils.h"

namespace quillax::host {

class EUsageError : public Exception {
public:
    using Exception::Exception;
};

// The name is not that of a property a page can set (a method's, or none at all).
class EUnknownProperty : public EUsageError {
public:
    using EUsageError::EUsageError;
};

} // namespace quillax::host
