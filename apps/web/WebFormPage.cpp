// The web host's front page: a form over the component's properties and a preview image of
// /barcode for the form's settings, there before any script runs, which the script keeps in
// step as the form changes. Self-contained: no external resources.
#include "apps/web/WebRoutes.h"

#include "apps/page/SymbologyNames.h"

namespace quillax::web {

namespace {

// Colours are picked as #rrggbb and sent as the component's 0x00BBGGRR number; the pickers
// carry no name, so a plain submit sends the hidden numeric fields instead.
constexpr std::string_view kFormPage = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Quillax</title>
<style>
body { font-family: sans-serif; margin: 2em; color: #222; }
form { display: grid; grid-template-columns: max-content 16em; gap: .4em 1em; align-items: center; }
#preview { margin-top: 1.5em; min-height: 60px; }
#preview img { border: 1px dashed #aaa; }
#status { color: #555; font-size: .9em; margin-top: .5em; white-space: pre-wrap; }
#status.error { color: #b00; }
</style>
</head>
<body>
<h1>Quillax</h1>
<form id="barcode" action="/barcode" method="get" target="_blank">
<label for="BarcodeType">Symbology</label>
<select id="BarcodeType" name="BarcodeType">
<!-- symbologies -->
</select>
<label for="Data">Data</label>
<input id="Data" name="Data" value="590123412345">
<label for="NarrowBarWidth">Narrow bar width</label>
<input id="NarrowBarWidth" name="NarrowBarWidth" type="number" min="1" max="20" value="2">
<label for="Ratio">Wide-to-narrow ratio</label>
<input id="Ratio" name="Ratio" type="number" min="1" max="3" value="2">
<label for="Height">Height</label>
<input id="Height" name="Height" type="number" min="1" max="1000" value="80">
<label for="Orientation">Orientation</label>
<select id="Orientation" name="Orientation">
<option value="0" selected>0&deg;</option>
<option value="90">90&deg;</option>
<option value="180">180&deg;</option>
<option value="270">270&deg;</option>
</select>
<label for="bgPicker">Background</label>
<input id="bgPicker" type="color" value="#ffffff" data-target="BGColor">
<label for="barPicker">Bars</label>
<input id="barPicker" type="color" value="#000000" data-target="BarColor">
<input type="hidden" id="BGColor" name="BGColor" value="16777215">
<input type="hidden" id="BarColor" name="BarColor" value="0">
<label for="Checksum">Check digit</label>
<span><input id="Checksum" name="Checksum" type="checkbox" value="true" checked>
<select id="ChecksumMethod" name="ChecksumMethod" aria-label="Check digit method">
<option value="1" selected>modulo 10</option>
<option value="0">none</option>
</select></span>
<label for="ShowText">Show text</label>
<input id="ShowText" name="ShowText" type="checkbox" value="true" checked>
<label for="Layout">Layout</label>
<select id="Layout" name="Layout">
<option value="1" selected>standard (quiet zones, printed text line)</option>
<option value="0">classic</option>
</select>
<label for="QuietZone">Quiet zone (modules, -1 standard)</label>
<input id="QuietZone" name="QuietZone" type="number" min="-1" max="100" value="-1">
<label for="Resolution">Resolution (dpi, 0 none)</label>
<input id="Resolution" name="Resolution" type="number" min="0" max="65535" value="0">
<label for="XDimension">X-dimension (mm, with a resolution)</label>
<input id="XDimension" name="XDimension" type="number" min="0" max="10" step="any" value="0">
<label for="ImageTypeStr">Image format</label>
<select id="ImageTypeStr" name="ImageTypeStr">
<option>PNG</option>
<option>SVG</option>
<option>BMP</option>
<option>JPEG</option>
</select>
<span></span>
<button type="submit">Open image</button>
</form>
<div id="preview"><img id="image" alt="barcode preview" src="/barcode?BarcodeType=14&amp;Data=590123412345&amp;NarrowBarWidth=2&amp;Ratio=2&amp;Height=80&amp;Orientation=0&amp;BGColor=16777215&amp;BarColor=0&amp;Checksum=true&amp;ChecksumMethod=1&amp;ShowText=true&amp;Layout=1&amp;QuietZone=-1&amp;Resolution=0&amp;XDimension=0&amp;ImageTypeStr=PNG"></div>
<div id="status"></div>
<script>
"use strict";
const form = document.getElementById("barcode");
const image = document.getElementById("image");
const status = document.getElementById("status");
let timer = 0;

// #rrggbb to the component's colour number, red in the lowest byte.
function colourNumber(hex) {
  const v = parseInt(hex.slice(1), 16);
  return ((v >> 16) & 255) + ((v >> 8) & 255) * 256 + (v & 255) * 65536;
}

function syncColours() {
  for (const picker of form.querySelectorAll("input[type=color]"))
    document.getElementById(picker.dataset.target).value = colourNumber(picker.value);
}

function formUrl() {
  syncColours();
  return "/barcode?" + new URLSearchParams(new FormData(form)).toString();
}

// The preview is an ordinary image of the form's URL, so the browser's cache and the
// server's entity tags serve repeated settings.
function refresh() {
  const url = formUrl();
  if (image.getAttribute("src") !== url) image.src = url;
}

function showSize() {
  status.className = "";
  status.textContent = image.naturalWidth + " x " + image.naturalHeight + " pixels";
}
image.addEventListener("load", showSize);

// An image that does not load carries no reason: ask for the answer's text.
image.addEventListener("error", async () => {
  const url = image.getAttribute("src");
  status.className = "error";
  try {
    const answer = await fetch(url);
    if (image.getAttribute("src") === url)
      status.textContent = answer.status + " " + (await answer.text());
  } catch (failure) {
    status.textContent = String(failure);
  }
});

function schedule() {
  clearTimeout(timer);
  timer = setTimeout(refresh, 150);
}

form.addEventListener("input", schedule);
form.addEventListener("change", schedule);
form.addEventListener("submit", syncColours);
if (image.complete && image.naturalWidth) showSize();
refresh();
</script>
</body>
</html>
)html";

// The symbology list: one option per row of the table that `quillax symbologies` prints,
// EAN-13 chosen (the page-start default).
std::string SymbologyOptions() {
    std::string options;
    for (const host::TSymbology& symbology : host::Symbologies()) {
        options += "<option value=\"" + std::to_string(symbology.Number) + "\"" +
                   (symbology.Number == 14 ? " selected" : "") + ">" + std::string(symbology.Name) +
                   "</option>\n";
    }
    return options;
}

} // namespace

std::string_view FormPageHtml() {
    static const std::string page = [] {
        std::string html(kFormPage);
        constexpr std::string_view mark = "<!-- symbologies -->\n";
        html.replace(html.find(mark), mark.size(), SymbologyOptions());
        return html;
    }();
    return page;
}

} // namespace quillax::web
