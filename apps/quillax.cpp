// quillax: the command-line host of the barcode component.
#include <cstdio>

int main() {
    std::puts("quillax 1.0.0: the component is being built; no commands yet.");
    return 0;
}
