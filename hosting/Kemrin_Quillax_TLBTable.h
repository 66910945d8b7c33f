// The type library as a member table: the one description of IQuillax that name lookup,
// invoke and the type information read where the platform has no compiled type libraries.
#pragma once

#include "hosting/Kemrin_Quillax_TLB.h"

namespace quillax {

// The member table of IQuillax (slot, dispatch identifier, kind, parameters) and the library
// and class descriptions built on it.
extern const InterfaceDescription IQuillaxDescription;
extern const CoClassDescription QuillaxDescription;
extern const TypeLibDescription Kemrin_QuillaxDescription;

} // namespace quillax
