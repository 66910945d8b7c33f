"""A Flask route that answers GET /barcode?data=590123412345 with an EAN-13 PNG.

    pip install flask && flask --app flask_app run   (then open /barcode?data=590123412345)
"""

from flask import Flask, Response, request

import quillax

app = Flask(__name__)


@app.get("/barcode")
def barcode():
    """The image; 400 for a request the component cannot take; 422 with the error image and
    the message when the image carries an error."""
    try:
        image = quillax.render(
            BarcodeType=request.args.get("type", "EAN13"),
            Data=request.args.get("data", ""),
            Checksum=True,
            ShowText=True,
            NarrowBarWidth=2,
            Height=80,
            ImageTypeStr="PNG",
        )
    except quillax.PropertyError as e:
        return Response(str(e), status=400, mimetype="text/plain")
    except quillax.BarcodeError as e:
        if e.image is None:
            return Response(e.message, status=500, mimetype="text/plain")
        return Response(e.image.data, status=422, mimetype=e.image.content_type,
                        headers={"X-Quillax-Error": e.message})
    return Response(image.data, mimetype=image.content_type)
