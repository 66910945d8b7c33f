// The page seam: one barcode page as every host runs it. It creates the object, starts the
// page with a scripting context whose Response reports to a sink, applies the settings
// (symbology names turned into numbers, colours written #RRGGBB or 0xRRGGBB turned into the
// object's 0x00BBGGRR, each property put through the object's function table), shows the
// image or saves it, ends the page and returns the outcome. The command, batch and the web
// host each run their pages through it; the C API keeps its pages open.
#pragma once

#include "apps/page/ComponentLibrary.h"
#include "apps/page/HostResponse.h"
#include "apps/page/UsageError.h"
#include "hosting/Kemrin_Quillax_TLB.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillax::host {

// One NAME=VALUE as a person wrote it: the property's name in any case, the value as text.
using TPropertySetting = std::pair<std::string, std::string>;

// What became of the object's last ShowBarcode or SaveBarcode: its LastResult (the step code,
// 0 when clean, kSaveResultFileNotWritten when no file was written) and its LastError (that
// step's message, UTF-8; empty when clean).
struct TRenderOutcome {
    LONG Result = 0;
    std::string Error;
    bool Failed() const { return Result != 0; }
};

// What became of a page: the render's outcome, and the Response calls of a shown image
// unless the caller's own sink took them.
struct TPageOutcome : TRenderOutcome {
    std::optional<LONG> ExpiresMinutes;
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string ContentType;
    std::string Bytes;
};

// SaveBarcode's Result when it wrote no file (the step codes are 1 to 4).
inline constexpr LONG kSaveResultFileNotWritten = 5;

// The names of the properties a page may set, in the object's spelling and order.
std::span<const std::string_view> PagePropertyNames();

// A page held open for a host that keeps one object across renders (the C API): its page
// started with a scripting context whose Response reports to the sink given, its properties
// put one at a time as TBarcodePage puts them, its image shown as often as the host asks.
// Ends the page when destroyed. One thread at a time.
class TOpenPage {
public:
    ~TOpenPage();
    TOpenPage(const TOpenPage&) = delete;
    TOpenPage& operator=(const TOpenPage&) = delete;

    // Raises EUnknownProperty for a name that cannot be set, EUsageError for a value that does
    // not convert or an image format the hosts do not accept (the property keeps its value),
    // EOleSysError when the object refuses.
    void Set(std::string_view name, std::string_view value);
    // Shows the image of the properties into the sink; raises EOleSysError when a call fails.
    TRenderOutcome Show();

private:
    friend class TBarcodePage;
    TOpenPage(ComPtr<IQuillax2> object, TResponseSink& sink);
    ComPtr<IScriptingContext> context_;
    ComPtr<IQuillax2> object_;
};

class TBarcodePage {
public:
    // The library must outlive the page; one page serves any number of threads at once.
    explicit TBarcodePage(const TComponentLibrary& component);

    // Shows the image of the settings: its Response calls go to sink, or into the outcome.
    // A fileName the image is meant for may pick the format by its extension, as for Save.
    // Raises EUsageError for a property that does not exist, a value that does not convert
    // or an image format the hosts do not accept (or fileName contradicts), EOleSysError
    // when a call fails.
    TPageOutcome Show(std::span<const TPropertySetting> settings, TResponseSink* sink = nullptr,
                      std::string_view fileName = {}) const;
    // Saves the image of the settings into folder/fileName, fileName's extension may pick the
    // format; with no fileName, into the file nameByFormat names given the object's ImageType
    // once the settings are applied. Raises as Show does, and for a format that contradicts
    // fileName.
    TPageOutcome Save(std::span<const TPropertySetting> settings, const std::string& fileName,
                      const std::function<std::string(LONG imageType)>& nameByFormat = {},
                      const std::filesystem::path& folder = {}) const;
    // A new object with its page started, for a host that sets and shows by turns; sink must
    // outlive the open page.
    std::unique_ptr<TOpenPage> Open(TResponseSink& sink) const;

private:
    ComPtr<IQuillax2> NewObject() const;
    ComPtr<IClassFactory> factory_;
};

// One page with a new barcode object, shown into sink: TBarcodePage::Show.
TRenderOutcome RunBarcodePage(const TComponentLibrary& component,
                              std::span<const TPropertySetting> properties, TResponseSink& sink);

} // namespace quillax::host
