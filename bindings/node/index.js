'use strict';
// Barcode images from Node.js, over libquillax through koffi.
//
//   const quillax = require('quillax');
//   const image = quillax.render({BarcodeType: 'EAN13', Data: '5901234123457', ImageTypeStr: 'PNG'});
//   response.type(image.contentType).send(image.data);
//
// Property names match without regard to case and take the values the `quillax render`
// command takes: BarcodeType by number or symbology name, booleans, numbers and text.
// renderAsync renders on a worker thread, off the event loop.
const koffi = require('koffi');

// The C API's return codes besides a render's step code (1 to 4).
const OK = 0;
const E_FAILED = -4;

class PropertyError extends Error {
  constructor(message) {
    super(message);
    this.name = 'PropertyError';
  }
}

class BarcodeError extends Error {
  // result: the failed step (1 to 4; negative when no image was made); image: the error
  // image, or null.
  constructor(result, message, image) {
    super(message);
    this.name = 'BarcodeError';
    this.result = result;
    this.image = image;
  }
}

let api = null;

// The library: QUILLAX_LIBRARY, else libquillax.so.1 on the loader's path.
function library() {
  if (api) return api;
  const path = process.env.QUILLAX_LIBRARY || 'libquillax.so.1';
  let lib;
  try {
    lib = koffi.load(path);
  } catch (e) {
    throw new Error(`libquillax not found (set QUILLAX_LIBRARY to its path): ${e.message}`);
  }
  koffi.opaque('quillax_barcode');
  koffi.struct('quillax_image', {data: 'uint8_t *', size: 'size_t', content_type: 'const char *'});
  api = {
    create: lib.func('quillax_barcode *quillax_create(void)'),
    set: lib.func('int quillax_set(quillax_barcode *, const char *, const char *)'),
    render: lib.func('int quillax_render(quillax_barcode *, _Out_ quillax_image *)'),
    message: lib.func('const char *quillax_message(const quillax_barcode *)'),
    imageFree: lib.func('void quillax_image_free(quillax_image *)'),
    destroy: lib.func('void quillax_destroy(quillax_barcode *)'),
    // The image's bytes are copied into a Buffer of our own: koffi.decode keeps a few bytes
    // for every call (koffi 2.16), which a server rendering millions of images would feel.
    memcpy: koffi.load('libc.so.6').func('void *memcpy(void *dest, const void *src, size_t n)'),
  };
  return api;
}

// A value as the C API takes it; text with a NUL would end early, so it is refused.
function text(name, value) {
  const s = String(value);
  if (s.includes('\0') || name.includes('\0')) {
    throw new PropertyError(`${name}: a name or value holds a NUL character`);
  }
  return s;
}

// A fresh barcode with the properties set; the caller destroys it.
function prepare(lib, properties) {
  const barcode = lib.create();
  if (!barcode) throw new BarcodeError(E_FAILED, lib.message(null), null);
  try {
    for (const [name, value] of Object.entries(properties || {})) {
      const code = lib.set(barcode, name, text(name, value));
      if (code === OK) continue;
      const message = lib.message(barcode);
      throw code === E_FAILED ? new BarcodeError(code, message, null) : new PropertyError(message);
    }
  } catch (e) {
    lib.destroy(barcode);
    throw e;
  }
  return barcode;
}

// The render's image copied into a Buffer, the C image freed, the barcode destroyed.
function finish(lib, barcode, result, out) {
  try {
    let image = null;
    if (out.data) {
      const size = Number(out.size);
      const data = Buffer.allocUnsafe(size);
      if (size) lib.memcpy(data, out.data, size);
      image = {data, contentType: out.content_type};
      lib.imageFree(out);
    }
    if (result !== OK) throw new BarcodeError(result, lib.message(barcode), image);
    return image;
  } finally {
    lib.destroy(barcode);
  }
}

// The image of the properties: {data: Buffer, contentType}. Throws PropertyError for an
// unknown property or a value that does not convert, BarcodeError when it carries an error.
function render(properties) {
  const lib = library();
  const barcode = prepare(lib, properties);
  const out = {};
  let result;
  try {
    result = lib.render(barcode, out);
  } catch (e) {
    lib.destroy(barcode);
    throw e;
  }
  return finish(lib, barcode, result, out);
}

// render on a worker thread: a Promise of the image, rejected as render throws.
function renderAsync(properties) {
  return new Promise((resolve, reject) => {
    const lib = library();
    const barcode = prepare(lib, properties);
    const out = {};
    lib.render.async(barcode, out, (error, result) => {
      if (error) {
        lib.destroy(barcode);
        reject(error);
        return;
      }
      try {
        resolve(finish(lib, barcode, result, out));
      } catch (e) {
        reject(e);
      }
    });
  });
}

module.exports = {render, renderAsync, BarcodeError, PropertyError};
