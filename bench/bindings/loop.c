/* capi_loop COUNT [reuse]: COUNT renders of one EAN-13 PNG through the C API, each on a fresh
 * barcode (create, four sets, render, free, destroy) as the language packages' render()
 * makes it, or with "reuse" on one barcode. Prints the rate and the resident memory after
 * half the renders and at the end. */
#include <quillax/quillax.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static long ResidentKilobytes(void) {
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    long kilobytes = -1;
    while (status != NULL && fgets(line, sizeof line, status) != NULL)
        if (strncmp(line, "VmRSS:", 6) == 0) kilobytes = strtol(line + 6, NULL, 10);
    if (status != NULL) fclose(status);
    return kilobytes;
}

static quillax_barcode* Ean13(void) {
    quillax_barcode* barcode = quillax_create();
    if (barcode == NULL) return NULL;
    quillax_set(barcode, "BarcodeType", "EAN13");
    quillax_set(barcode, "Data", "590123412345");
    quillax_set(barcode, "Checksum", "True");
    quillax_set(barcode, "ImageTypeStr", "PNG");
    return barcode;
}

int main(int argc, char** argv) {
    const long count = argc > 1 ? atol(argv[1]) : 100000;
    const int reuse = argc > 2 && strcmp(argv[2], "reuse") == 0;
    quillax_barcode* kept = reuse ? Ean13() : NULL;
    long early = 0;
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (long i = 0; i < count; ++i) {
        quillax_barcode* barcode = reuse ? kept : Ean13();
        quillax_image image;
        if (barcode == NULL || quillax_render(barcode, &image) != QUILLAX_OK) {
            fprintf(stderr, "capi_loop: render %ld failed\n", i);
            return 1;
        }
        quillax_image_free(&image);
        if (!reuse) quillax_destroy(barcode);
        if (i + 1 == count / 2) early = ResidentKilobytes();
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    quillax_destroy(kept);
    const double seconds =
        (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%.0f renders/s, resident %ld kB after half, %ld kB at the end\n", count / seconds,
           early, ResidentKilobytes());
    return 0;
}
