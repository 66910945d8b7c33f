// Late-bound calls on an object, as a script host makes them: property puts by name with
// text values, property reads as text, methods by name, through GetIDsOfNames and Invoke.
#pragma once

#include "apps/page/UsageError.h"
#include "hosting/ASPTlb.h"
#include "platform/OleAuto.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillax::host {

// Sets the property name (any case) to the text value through GetIDsOfNames and Invoke, as
// a script host does. Raises EUsageError for an unknown name or a value that does not
// convert, EOleSysError for any other failure, with the object's description.
void PutProperty(IDispatch* object, std::string_view name, std::string_view value);

// Reads the property name (any case) through GetIDsOfNames and Invoke and gives its value as
// text, as a script host prints it (booleans "True" and "False"). Raises EUsageError for an
// unknown name, EOleSysError for any other failure.
std::string GetPropertyText(IDispatch* object, std::string_view name);

// The names of the properties a script can set on the object, from its type information, in
// the order it lists them. Raises EOleSysError when the object offers no type information.
std::vector<std::string> PropertyNames(IDispatch* object);

// Calls a method by name with arguments in the order written (not reversed); raises
// EOleSysError with the object's description on failure.
void CallMethod(IDispatch* object, std::string_view name, std::span<VARIANTARG> arguments = {});

// The page-start and page-end hooks, the outputs of the barcode object.
void StartPage(IDispatch* object, IScriptingContext* context);
void EndPage(IDispatch* object);
void ShowBarcode(IDispatch* object);
// Returns the render result (0 when every step succeeded).
LONG SaveBarcode(IDispatch* object, const std::string& fileName);

} // namespace quillax::host
