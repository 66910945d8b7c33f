'use strict';
// The npm package as installed from its tarball: images read back by quillax_read, the two
// errors, renderAsync off the event loop, and the Express example serving a request.
const test = require('node:test');
const assert = require('node:assert');
const {execFileSync} = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const quillax = require('quillax');

const ean13 = {BarcodeType: 'EAN13', Data: '590123412345', Checksum: true, ImageTypeStr: 'PNG'};

// What an independent reader finds: "WIDTHxHEIGHT FORMAT TEXT".
function read(data) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'quillax-')), 'image');
  fs.writeFileSync(file, data);
  try {
    return execFileSync(process.env.QUILLAX_READ, [file], {encoding: 'utf8'}).trim();
  } finally {
    fs.rmSync(path.dirname(file), {recursive: true});
  }
}

test('render gives an image the reader reads, in each format', () => {
  for (const [format, type] of [['PNG', 'image/png'], ['BMP', 'image/bmp'], ['JPG', 'image/jpeg']]) {
    const image = quillax.render({...ean13, ImageTypeStr: format});
    assert.ok(Buffer.isBuffer(image.data));
    assert.strictEqual(image.contentType, type);
    assert.strictEqual(read(image.data), '95x50 EAN-13 5901234123457');
  }
});

test('bad data raises BarcodeError with the message and the error image', async () => {
  for (const call of [quillax.render, quillax.renderAsync]) {
    await assert.rejects(async () => call({...ean13, Data: '59012341234X'}), (e) => {
      assert.ok(e instanceof quillax.BarcodeError);
      assert.ok(e.result >= 1 && e.result <= 4);
      assert.match(e.message, /numeric/);
      assert.match(read(e.image.data), /^50x30 none/);
      return true;
    });
  }
});

test('an unknown property, a value that does not convert or a NUL raise PropertyError', async () => {
  const cases = [[{Colour: 'red'}, /unknown property Colour/], [{Height: 'tall'}, /tall/],
                 [{BarcodeType: 'Code 2000'}, /unknown symbology/], [{Data: '590\u00001'}, /NUL/]];
  for (const [properties, message] of cases) {
    assert.throws(() => quillax.render(properties), (e) => e instanceof quillax.PropertyError && message.test(e.message));
    await assert.rejects(quillax.renderAsync(properties), quillax.PropertyError);
  }
});

test('renderAsync renders off the event loop: a timer keeps ticking', async () => {
  const large = {BarcodeType: 'Code128B', Data: 'Quillax renders off the event loop', NarrowBarWidth: 6,
                 Height: 1500, ImageTypeStr: 'PNG'};
  const ticksDuring = async (renders) => {
    let ticks = 0;
    const timer = setInterval(() => ticks++, 2);
    try {
      await renders();
      return ticks;
    } finally {
      clearInterval(timer);
    }
  };
  const blocking = await ticksDuring(async () => {
    for (let i = 0; i < 8; i++) quillax.render(large);
  });
  const images = [];
  const parallel = await ticksDuring(async () => {
    images.push(...await Promise.all(Array.from({length: 8}, () => quillax.renderAsync(large))));
  });
  assert.strictEqual(blocking, 0);
  assert.ok(parallel >= 3, `${parallel} ticks`);
  assert.match(read(images[7].data), /Code128 Quillax renders off the event loop$/);
});

test('the Express example answers with the barcode', async (t) => {
  let example;
  try {
    example = require(path.join(path.dirname(require.resolve('quillax')), 'examples', 'express.js'));
    require.resolve('express');
  } catch (e) {
    t.skip(`Express is not installed: ${e.message}`);
    return;
  }
  const server = example.app().listen(0, '127.0.0.1');
  await new Promise((resolve) => server.once('listening', resolve));
  try {
    const base = `http://127.0.0.1:${server.address().port}/barcode`;
    const good = await fetch(`${base}?data=590123412345`);
    assert.strictEqual(good.status, 200);
    assert.strictEqual(good.headers.get('content-type'), 'image/png');
    assert.strictEqual(read(Buffer.from(await good.arrayBuffer())), '190x80 EAN-13 5901234123457');
    const bad = await fetch(`${base}?data=12X`);
    assert.strictEqual(bad.status, 422);
    assert.match(bad.headers.get('x-quillax-error'), /numeric/);
  } finally {
    server.close();
  }
});
