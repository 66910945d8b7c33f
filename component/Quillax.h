// Quillax for a host program: everything needed to create and drive the barcode object of
// libKemrin_Quillax.so. Installed as <quillax/Quillax.h>; link Quillax::Kemrin_Quillax
// (CMake) or `pkg-config --libs quillax`.
//
// - the platform vocabulary: HRESULT, GUID, IUnknown, IClassFactory, IDispatch, BSTR,
//   VARIANT, SAFEARRAY, error records, ComPtr and BStr;
// - activation: CoCreateInstance and CLSIDFromProgID over the registry store, which
//   SetRegistryStoreFile chooses;
// - the component: its identifiers (CLSID_Quillax, IID_IQuillax2, IID_IQuillax,
//   LIBID_Kemrin_Quillax), the dual interface IQuillax2 (the class's default: the classic
//   IQuillax and LastResult/LastError) with its dispatch identifiers, and the four exported
//   entry points (DllGetClassObject and friends);
// - the page interfaces the object calls back: IScriptingContext and IResponse.
#pragma once

#include "hosting/ASPTlb.h"
#include "hosting/EntryPoints.h"
#include "hosting/Kemrin_Quillax_TLB.h"
#include "platform/Activation.h"
#include "platform/ComBase.h"
#include "platform/OleAuto.h"
#include "platform/Registry.h"
