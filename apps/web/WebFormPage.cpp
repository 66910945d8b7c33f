// The web host's front page: a form over the component's properties and a preview image of
// /barcode for the form's settings, there before any script runs, with a download link named
// after the barcode. The script keeps both in step as the form changes, zooms the preview
// pixel for pixel, copies the image's URL or an <img> tag, and shows the reason when the
// image carries an error (the host's X-Quillax-Error). Self-contained: no external resources.
//
// The form's controls are made from a table, one row per property; the symbology list and
// its hints from the symbology table that `quillax symbologies` prints.
#include "apps/web/WebRoutes.h"

#include "apps/page/SymbologyNames.h"

#include <array>
#include <cctype>
#include <span>

namespace quillax::web {

namespace {

enum class EControl { Text, Number, Select, CheckBox, Colour };

struct TChoice {
    std::string_view Value;
    std::string_view Text;
};

// One control of the form: the property it sets and how.
struct TFormField {
    std::string_view Name; // the property, as the form sends it
    std::string_view Label;
    EControl Control;
    std::string_view Default;    // a check box is checked when "true"; a colour is #rrggbb
    std::string_view Attributes; // a number's min, max and step
    std::span<const TChoice> Choices = {};
};

constexpr std::array<TChoice, 4> kOrientations{
    {{"0", "0&deg;"}, {"90", "90&deg;"}, {"180", "180&deg;"}, {"270", "270&deg;"}}};
constexpr std::array<TChoice, 2> kChecksumMethods{{{"1", "modulo 10"}, {"0", "none"}}};
constexpr std::array<TChoice, 2> kLayouts{
    {{"1", "standard (quiet zones, printed text line)"}, {"0", "classic"}}};
constexpr std::array<TChoice, 4> kImageFormats{
    {{"PNG", "PNG"}, {"SVG", "SVG"}, {"BMP", "BMP"}, {"JPEG", "JPEG"}}};

// In the order the form shows and sends them; BarcodeType's choices are the symbologies.
constexpr std::array<TFormField, 16> kFormFields{{
    {"BarcodeType", "Symbology", EControl::Select, "14", ""},
    {"Data", "Data", EControl::Text, "5901234123457", ""},
    {"NarrowBarWidth", "Narrow bar width", EControl::Number, "2", R"(min="1" max="20")"},
    {"Ratio", "Wide-to-narrow ratio", EControl::Number, "2", R"(min="1" max="3")"},
    {"Height", "Height", EControl::Number, "80", R"(min="1" max="1000")"},
    {"Orientation", "Orientation", EControl::Select, "0", "", kOrientations},
    {"BGColor", "Background", EControl::Colour, "#ffffff", ""},
    {"BarColor", "Bars", EControl::Colour, "#000000", ""},
    {"Checksum", "Check digit", EControl::CheckBox, "true", ""},
    {"ChecksumMethod", "Check digit method", EControl::Select, "1", "", kChecksumMethods},
    {"ShowText", "Show text", EControl::CheckBox, "true", ""},
    {"Layout", "Layout", EControl::Select, "1", "", kLayouts},
    {"QuietZone", "Quiet zone (modules, -1 standard)", EControl::Number, "-1",
     R"(min="-1" max="100")"},
    {"Resolution", "Resolution (dpi, 0 none)", EControl::Number, "0", R"(min="0" max="65535")"},
    {"XDimension", "X-dimension (mm, with a resolution)", EControl::Number, "0",
     R"(min="0" max="10" step="any")"},
    {"ImageTypeStr", "Image format", EControl::Select, "PNG", "", kImageFormats},
}};

constexpr std::string_view kHead = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Quillax</title>
<style>
body { font-family: sans-serif; margin: 2em; color: #222; }
form { display: grid; grid-template-columns: max-content 16em; gap: .4em 1em; align-items: center; }
#hint { grid-column: 2; margin: 0; color: #555; font-size: .85em; }
form input[type=checkbox] { justify-self: start; }
main { display: flex; flex-wrap: wrap; gap: 2em 3em; align-items: flex-start; }
#result { flex: 1 1 30em; min-width: 0; }
#actions { display: flex; gap: 1.5em; align-items: center; }
#preview { margin-top: 1em; min-height: 60px; overflow: auto; }
#preview img { border: 1px dashed #aaa; image-rendering: pixelated; }
#status { color: #555; font-size: .9em; margin-top: .5em; white-space: pre-wrap; }
#status.error { color: #b00; font-weight: bold; }
#share { margin-top: 1.5em; display: grid; grid-template-columns: max-content minmax(8em, 1fr) max-content; gap: .4em 1em; align-items: center; }
#share input { font-family: monospace; font-size: .85em; }
</style>
</head>
<body>
<h1>Quillax</h1>
<main>
<form id="barcode" action="/barcode" method="get" target="_blank">
)html";

// After the form: the download link, the preview, the image's URL and tag, and the script.
// The link and the fields work without script; zoom and copying need it, so they show once
// it runs.
constexpr std::string_view kTail = R"html(<span></span>
<button type="submit">Open image</button>
</form>
<section id="result" aria-label="Barcode">
<div id="actions">
<a id="download" href="@URL@" download="@FILE@">Download</a>
<span data-scripted hidden>Zoom
<label><input type="radio" name="zoom" value="1" checked>1x</label>
<label><input type="radio" name="zoom" value="2">2x</label>
<label><input type="radio" name="zoom" value="4">4x</label>
</span>
</div>
<div id="preview"><img id="image" alt="barcode preview" src="@URL@"></div>
<div id="status"></div>
<div id="share">
<label for="url">Image URL</label>
<input id="url" readonly value="@URL@">
<button type="button" id="copyUrl" data-scripted hidden>Copy URL</button>
<label for="tag">HTML</label>
<input id="tag" readonly value="&lt;img src=&quot;@URL@&quot; alt=&quot;barcode&quot;&gt;">
<button type="button" id="copyTag" data-scripted hidden>Copy &lt;img&gt; tag</button>
<span></span><span id="copied" role="status"></span>
</div>
</section>
</main>
<script>
"use strict";
const form = document.getElementById("barcode");
const type = document.getElementById("BarcodeType");
const image = document.getElementById("image");
const status = document.getElementById("status");
const download = document.getElementById("download");
const urlField = document.getElementById("url");
const tagField = document.getElementById("tag");
let timer = 0;
let zoom = 1;

function formUrl() {
  return "/barcode?" + new URLSearchParams(new FormData(form)).toString();
}

// "ean13-5901234123457.png": the symbology, the data and the format.
function fileName() {
  const data = String(form.elements.Data.value).replace(/[^A-Za-z0-9.-]+/g, "_").slice(0, 60);
  const format = String(form.elements.ImageTypeStr.value).toLowerCase();
  const slug = type.selectedOptions[0].dataset.slug;
  return (data ? slug + "-" + data : slug) + "." + format;
}

function showHint() {
  document.getElementById("hint").textContent = type.selectedOptions[0].dataset.hint;
}

function imageTag(url) {
  const attribute = (text) => text.replace(/&/g, "&amp;").replace(/"/g, "&quot;");
  const size = image.naturalWidth
      ? ' width="' + image.naturalWidth + '" height="' + image.naturalHeight + '"' : "";
  return '<img src="' + attribute(url) + '" alt="' + attribute(form.elements.Data.value) + '"' +
      size + ">";
}

function showLinks() {
  const absolute = new URL(image.getAttribute("src"), location.href).href;
  download.href = image.getAttribute("src");
  download.download = fileName();
  urlField.value = absolute;
  tagField.value = imageTag(absolute);
}

// Whole pixels: every image pixel becomes zoom x zoom screen pixels, never blended.
function applyZoom() {
  image.style.width = image.naturalWidth ? image.naturalWidth * zoom + "px" : "";
  image.style.height = image.naturalHeight ? image.naturalHeight * zoom + "px" : "";
}

// The preview is an ordinary image of the form's URL, so the browser's cache and the
// server's entity tags serve repeated settings.
function refresh() {
  const url = formUrl();
  if (image.getAttribute("src") !== url) image.src = url;
  document.getElementById("copied").textContent = "";
  showHint();
  showLinks();
}

// The image alone cannot say whether it carries an error: its answer's status and
// X-Quillax-Error can (from the browser's cache unless the answer was an error).
async function describe() {
  const url = image.getAttribute("src");
  applyZoom();
  showLinks();
  let text = "", error = false;
  try {
    const answer = await fetch(url);
    const reason = answer.headers.get("X-Quillax-Error");
    if (reason !== null) {
      error = true;
      text = "The image carries an error: " + reason;
    } else if (!answer.ok) {
      error = true;
      text = answer.status + " " + (await answer.text());
    } else {
      text = image.naturalWidth + " x " + image.naturalHeight + " pixels";
    }
  } catch (failure) {
    error = true;
    text = String(failure);
  }
  if (image.getAttribute("src") !== url) return;
  status.className = error ? "error" : "";
  status.textContent = text;
}
image.addEventListener("load", describe);
image.addEventListener("error", describe);

async function copy(field) {
  let done = false;
  try {
    await navigator.clipboard.writeText(field.value);
    done = true;
  } catch (refused) {
    field.select();
    done = document.execCommand("copy");
  }
  document.getElementById("copied").textContent = done ? "Copied" : "Select the text and copy it";
}
document.getElementById("copyUrl").addEventListener("click", () => copy(urlField));
document.getElementById("copyTag").addEventListener("click", () => copy(tagField));

for (const choice of document.querySelectorAll("input[name=zoom]")) {
  choice.addEventListener("change", () => {
    zoom = Number(choice.value);
    applyZoom();
  });
}

function schedule() {
  clearTimeout(timer);
  timer = setTimeout(refresh, 150);
}

form.addEventListener("input", schedule);
form.addEventListener("change", schedule);
for (const control of document.querySelectorAll("[data-scripted]")) control.hidden = false;
refresh();
if (image.complete) describe();
</script>
</body>
</html>
)html";

// Text for an HTML attribute or element.
std::string Escaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// A symbology's name for a file: lower case, each run of other characters one "-"
// ("Code39 Extended" is "code39-extended").
std::string Slug(std::string_view name) {
    std::string slug;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte))
            slug += static_cast<char>(std::tolower(byte));
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    return slug;
}

// What the data may hold and its check digit, as `quillax symbologies` says it.
std::string Hint(const host::TSymbology& symbology) {
    return std::string(symbology.Data) + "; check digit: " + std::string(symbology.CheckDigit);
}

// The value the form starts with for a property of the table.
std::string_view DefaultOf(std::string_view name) {
    for (const TFormField& field : kFormFields)
        if (field.Name == name) return field.Default;
    return {};
}

const host::TSymbology& DefaultSymbology() {
    return host::Symbologies()[std::stoul(std::string(DefaultOf("BarcodeType")))];
}

std::string SymbologyOptions(const TFormField& field) {
    std::string options;
    for (const host::TSymbology& symbology : host::Symbologies()) {
        const std::string number = std::to_string(symbology.Number);
        options += "<option value=\"" + number + "\"" +
                   (number == field.Default ? " selected" : "") + " data-slug=\"" +
                   Slug(symbology.Name) + "\" data-hint=\"" + Escaped(Hint(symbology)) + "\">" +
                   Escaped(symbology.Name) + "</option>\n";
    }
    return options;
}

std::string ChoiceOptions(const TFormField& field) {
    std::string options;
    for (const TChoice& choice : field.Choices)
        options += "<option value=\"" + std::string(choice.Value) + "\"" +
                   (choice.Value == field.Default ? " selected" : "") + ">" +
                   std::string(choice.Text) + "</option>\n";
    return options;
}

// A field's label and control; the symbology list is followed by its hint.
std::string FieldHtml(const TFormField& field) {
    const std::string name(field.Name);
    const std::string value = Escaped(field.Default);
    std::string html = "<label for=\"" + name + "\">" + std::string(field.Label) + "</label>\n";
    const std::string start = "id=\"" + name + "\" name=\"" + name + "\"";
    switch (field.Control) {
    case EControl::Text:
        html += "<input " + start + " value=\"" + value + "\">\n";
        break;
    case EControl::Number:
        html += "<input " + start + " type=\"number\" " + std::string(field.Attributes) +
                " value=\"" + value + "\">\n";
        break;
    case EControl::Colour:
        html += "<input " + start + " type=\"color\" value=\"" + value + "\">\n";
        break;
    case EControl::CheckBox:
        html += "<input " + start + " type=\"checkbox\" value=\"true\"" +
                (field.Default == "true" ? " checked" : "") + ">\n";
        break;
    case EControl::Select:
        html += "<select " + start + ">\n" +
                (field.Name == "BarcodeType" ? SymbologyOptions(field) : ChoiceOptions(field)) +
                "</select>\n";
        if (field.Name == "BarcodeType")
            html += "<p id=\"hint\">" + Escaped(Hint(DefaultSymbology())) + "</p>\n";
        break;
    }
    return html;
}

// The part of a query a form sends for one value ('#' of a colour as "%23").
std::string FormEncoded(std::string_view value) {
    std::string encoded;
    for (const char c : value)
        encoded += c == '#' ? std::string("%23") : std::string(1, c);
    return encoded;
}

// The /barcode URL of the form's defaults, as the browser sends the form: each field in
// order, an unchecked box left out.
std::string DefaultUrl() {
    std::string url = "/barcode";
    for (const TFormField& field : kFormFields) {
        if (field.Control == EControl::CheckBox && field.Default != "true") continue;
        url += (url.size() == 8 ? "?" : "&") + std::string(field.Name) + "=" +
               FormEncoded(field.Default);
    }
    return url;
}

// The download's name for the defaults, as the script makes it for any settings.
std::string DefaultFileName() {
    std::string format(DefaultOf("ImageTypeStr"));
    for (char& c : format)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Slug(DefaultSymbology().Name) + "-" + std::string(DefaultOf("Data")) + "." + format;
}

void ReplaceAll(std::string& text, std::string_view mark, const std::string& with) {
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + with.size()))
        text.replace(at, mark.size(), with);
}

} // namespace

std::string_view FormPageHtml() {
    static const std::string page = [] {
        std::string html(kHead);
        for (const TFormField& field : kFormFields)
            html += FieldHtml(field);
        std::string tail(kTail);
        ReplaceAll(tail, "@URL@", Escaped(DefaultUrl()));
        ReplaceAll(tail, "@FILE@", Escaped(DefaultFileName()));
        return html + tail;
    }();
    return page;
}

} // namespace quillax::web
