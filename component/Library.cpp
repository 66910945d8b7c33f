// libKemrin_Quillax.so is made of the object and hosting libraries (see CMakeLists.txt). This
// file gives the library target a source of its own; it defines nothing.
