/* Quillax from C: a barcode image in memory, in six calls.
 *
 *     quillax_barcode *barcode = quillax_create();
 *     quillax_set(barcode, "BarcodeType", "EAN13");
 *     quillax_set(barcode, "Data", "5901234123457");
 *     quillax_image image;
 *     if (quillax_render(barcode, &image) != QUILLAX_OK)
 *         fprintf(stderr, "%s\n", quillax_message(barcode));
 *     ... image.data, image.size, image.content_type ...
 *     quillax_image_free(&image);
 *     quillax_destroy(barcode);
 *
 * Link `pkg-config --cflags --libs quillax` (libquillax, which loads the component that
 * lies beside it). Text is UTF-8 in both directions; property names match without regard
 * to case and take the values the `quillax render` command takes (BarcodeType by number or
 * by symbology name, booleans as True/False or numbers). One barcode is used by one thread
 * at a time; any number of barcodes render in parallel. C99 and C++. */
#ifndef QUILLAX_QUILLAX_H
#define QUILLAX_QUILLAX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the calls return besides a render's step code. */
#define QUILLAX_OK 0
#define QUILLAX_E_PROPERTY (-1) /* no property of that name can be set */
#define QUILLAX_E_VALUE (-2)    /* the value does not convert to the property's type */
#define QUILLAX_E_ARGUMENT (-3) /* a null pointer where one is needed */
#define QUILLAX_E_FAILED (-4)   /* the call failed (out of memory, the component refused) */

/* A render's step codes: the image carries the error text of the step that failed. */
#define QUILLAX_STEP_TEXT 1    /* passing the data to the symbology */
#define QUILLAX_STEP_SIZING 2  /* measuring the symbol and sizing the surface */
#define QUILLAX_STEP_DRAWING 3 /* drawing the bars and the text */
#define QUILLAX_STEP_HANDLER 4 /* a failure inside a step's own failure handling */

/* One barcode object with its page started: the page-start defaults apply. */
typedef struct quillax_barcode quillax_barcode;

/* An encoded image: size bytes at data, and its MIME type ("image/png"). Owned by the
 * caller until quillax_image_free. */
typedef struct {
    unsigned char* data;
    size_t size;
    const char* content_type;
} quillax_image;

/* A fresh barcode, or NULL when it cannot be made (out of memory, the component not found);
 * quillax_message(NULL) then says why. */
quillax_barcode* quillax_create(void);

/* Sets the property name to the text value. Returns QUILLAX_OK, QUILLAX_E_PROPERTY,
 * QUILLAX_E_VALUE (the property keeps its value), QUILLAX_E_ARGUMENT or QUILLAX_E_FAILED. */
int quillax_set(quillax_barcode* barcode, const char* name, const char* value);

/* Renders the image of the properties into *out. Returns QUILLAX_OK for a clean image, a
 * step code (1 to 4) for an image that carries the error text of that step (out is filled
 * either way), or QUILLAX_E_ARGUMENT / QUILLAX_E_FAILED with *out emptied (data NULL,
 * size 0, content_type NULL). */
int quillax_render(quillax_barcode* barcode, quillax_image* out);

/* The message of the last call on barcode that did not return QUILLAX_OK ("" after one that
 * did), UTF-8; for NULL, that of this thread's last failed quillax_create. Valid until the
 * next call with the same barcode (or, for NULL, the next quillax_create on the thread). */
const char* quillax_message(const quillax_barcode* barcode);

/* Frees the image's bytes and empties it; an empty image or NULL is left alone. */
void quillax_image_free(quillax_image* image);

/* Ends the barcode's page and frees it; NULL is left alone. */
void quillax_destroy(quillax_barcode* barcode);

#ifdef __cplusplus
}
#endif

#endif /* QUILLAX_QUILLAX_H */
