'use strict';
// loop.js COUNT [async]: COUNT renders of one EAN-13 PNG through the npm package, with render
// or, with "async", renderAsync four at a time; prints the rate and the resident memory after
// half the renders and at the end.
const quillax = require('quillax');

const count = Number(process.argv[2] || 100000);
const parallel = process.argv[3] === 'async';
const ean13 = {BarcodeType: 'EAN13', Data: '590123412345', Checksum: true, ImageTypeStr: 'PNG'};
// After a full collection where the script may ask for one (node --expose-gc), so that what
// is left is what the renders kept.
const residentKilobytes = () => {
  if (global.gc) global.gc();
  return Math.round(process.memoryUsage().rss / 1024);
};

async function main() {
  let early = 0;
  const start = process.hrtime.bigint();
  for (let i = 0; i < count; i += parallel ? 4 : 1) {
    if (parallel) {
      await Promise.all([0, 1, 2, 3].map(() => quillax.renderAsync(ean13)));
    } else {
      quillax.render(ean13);
    }
    if (i < count / 2 && i + (parallel ? 4 : 1) >= count / 2) early = residentKilobytes();
  }
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  console.log(`${Math.round(count / seconds)} renders/s, resident ${early} kB after half, ` +
              `${residentKilobytes()} kB at the end`);
}

main();
