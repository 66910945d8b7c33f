'use strict';
// An Express route that answers GET /barcode?data=590123412345 with an EAN-13 PNG.
//
//   npm install express quillax && node express.js   (then open http://127.0.0.1:3000/barcode?data=590123412345)
const quillax = require('quillax');

// The route: the image, 400 for a request the component cannot take, 422 with the error
// image and the message when the image carries an error.
async function barcode(request, response) {
  try {
    const image = await quillax.renderAsync({
      BarcodeType: request.query.type || 'EAN13',
      Data: request.query.data || '',
      Checksum: true,
      ShowText: true,
      NarrowBarWidth: 2,
      Height: 80,
      ImageTypeStr: 'PNG',
    });
    response.type(image.contentType).send(image.data);
  } catch (e) {
    if (e instanceof quillax.BarcodeError && e.image) {
      response.status(422).set('X-Quillax-Error', e.message).type(e.image.contentType).send(e.image.data);
    } else {
      response.status(400).type('text/plain').send(e.message);
    }
  }
}

function app() {
  const express = require('express');
  const application = express();
  application.get('/barcode', barcode);
  return application;
}

if (require.main === module) {
  app().listen(3000, '127.0.0.1');
}

module.exports = {app, barcode};
