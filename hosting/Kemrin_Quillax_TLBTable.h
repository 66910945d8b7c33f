// The type library as a member table: the one description of IQuillax and IQuillax2 that name
// lookup, invoke and the type information read where the platform has no compiled type
// libraries.
#pragma once

#include "hosting/Kemrin_Quillax_TLB.h"

namespace quillax {

// The member tables of IQuillax and IQuillax2 (slot, dispatch identifier, kind, parameters)
// and the library and class descriptions built on them.
extern const InterfaceDescription IQuillaxDescription;
extern const InterfaceDescription IQuillax2Description;
extern const CoClassDescription QuillaxDescription;
extern const TypeLibDescription Kemrin_QuillaxDescription;

} // namespace quillax
