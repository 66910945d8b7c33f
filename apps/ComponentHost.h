// What a host of the component needs: the component library loaded by path, a page's
// scripting context whose Response object reports each call to a sink, and late-bound
// calls on the object (property puts by name with text values, methods by name), as a
// script host makes them.
#pragma once

#include "hosting/ASPTlb.h"
#include "platform/SysUtils.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillax::host {

// The request itself is wrong: an unknown property name, or a value that does not convert
// to the property's type.
class EUsageError : public Exception {
public:
    using Exception::Exception;
};

// The component library, loaded for the life of this object (and kept loaded while the
// library says it cannot be unloaded).
class TComponentLibrary {
public:
    // Raises Exception when the library cannot be loaded or lacks an entry point.
    explicit TComponentLibrary(const std::string& path);
    ~TComponentLibrary();
    TComponentLibrary(const TComponentLibrary&) = delete;
    TComponentLibrary& operator=(const TComponentLibrary&) = delete;

    // libKemrin_Quillax.so beside the running program (the build tree), else the versioned
    // library in the installed library folder relative to it (bin/../lib).
    static std::string DefaultPath();

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    // A new object of the class clsid, asked for IDispatch; raises EOleSysError on failure.
    ComPtr<IDispatch> CreateObject(REFCLSID clsid) const;

private:
    void* handle_ = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, LPVOID*) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
    HRESULT(STDAPICALLTYPE* registerServer_)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer_)() = nullptr;
};

// What a page's Response object is told, in call order. A failed status returned here is
// what the Response call returns to the component.
class TResponseSink {
public:
    virtual ~TResponseSink() = default;
    virtual HRESULT Expires(LONG minutes) = 0;
    virtual HRESULT AddHeader(const std::string& name, const std::string& value) = 0;
    virtual HRESULT ContentType(const std::string& type) = 0;
    virtual HRESULT BinaryWrite(std::span<const BYTE> bytes) = 0;
    virtual HRESULT Flush() = 0;
};

// A page's scripting context whose Response reports to sink; sink must outlive the page.
ComPtr<IScriptingContext> MakeScriptingContext(TResponseSink& sink);

// Text of the host (UTF-8) as a wide string and back; malformed bytes become U+FFFD.
std::u16string Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::u16string_view text);

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

// SaveBarcode's Result when it wrote no file (the step codes are 1 to 4).
inline constexpr LONG kSaveResultFileNotWritten = 5;

// The page-start and page-end hooks, the outputs of the barcode object.
void StartPage(IDispatch* object, IScriptingContext* context);
void EndPage(IDispatch* object);
void ShowBarcode(IDispatch* object);
// Returns the render result (0 when every step succeeded).
LONG SaveBarcode(IDispatch* object, const std::string& fileName);

// What became of the object's last ShowBarcode or SaveBarcode: its LastResult (the step code,
// 0 when clean, kSaveResultFileNotWritten when no file was written) and its LastError (that
// step's message, UTF-8; empty when clean).
struct TRenderOutcome {
    LONG Result = 0;
    std::string Error;
    bool Failed() const { return Result != 0; }
};
TRenderOutcome LastOutcome(IDispatch* object);

// One page with a new barcode object: page start with a scripting context whose Response
// reports to sink, each NAME=VALUE in order, ShowBarcode, page end; returns what became of the
// render. Raises EUsageError for a property that does not exist or a value that does not
// convert, EOleSysError when a call fails.
using TPropertySetting = std::pair<std::string, std::string>;
TRenderOutcome RunBarcodePage(const TComponentLibrary& component,
                              std::span<const TPropertySetting> properties, TResponseSink& sink);

} // namespace quillax::host
