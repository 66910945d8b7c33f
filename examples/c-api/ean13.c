/* ean13 DATA FILE: saves an EAN-13 barcode of DATA (12 digits; the check digit is added) as
 * a PNG file through the C API.
 *
 *   cc -std=c99 ean13.c $(pkg-config --cflags --libs quillax) -o ean13 */
#include <quillax/quillax.h>

#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: ean13 DATA FILE\n");
        return 2;
    }
    quillax_barcode* barcode = quillax_create();
    if (barcode == NULL) {
        fprintf(stderr, "ean13: %s\n", quillax_message(NULL));
        return 1;
    }
    const char* settings[][2] = {{"BarcodeType", "EAN13"}, {"Checksum", "True"},
                                 {"NarrowBarWidth", "2"},  {"Height", "80"},
                                 {"ImageTypeStr", "PNG"},  {"Data", argv[1]}};
    int status = 0;
    for (size_t i = 0; i < sizeof settings / sizeof settings[0] && status == 0; ++i) {
        if (quillax_set(barcode, settings[i][0], settings[i][1]) != QUILLAX_OK) {
            fprintf(stderr, "ean13: %s\n", quillax_message(barcode));
            status = 2;
        }
    }
    quillax_image image;
    if (status == 0) {
        const int step = quillax_render(barcode, &image);
        if (step != QUILLAX_OK) {
            /* The image, if any, carries the error text; it is written all the same. */
            fprintf(stderr, "ean13: %s\n", quillax_message(barcode));
            status = step > 0 ? 10 + step : 1;
        }
        FILE* file = image.data != NULL ? fopen(argv[2], "wb") : NULL;
        if (file == NULL || fwrite(image.data, 1, image.size, file) != image.size)
            status = status != 0 ? status : 1;
        if (file != NULL && fclose(file) != 0) status = status != 0 ? status : 1;
        quillax_image_free(&image);
    }
    quillax_destroy(barcode);
    return status;
}
