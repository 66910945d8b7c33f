// libKemrin_Quillax.so is made of the hosting and object libraries, linked whole so that the
// class factory enters itself in the server's list when the library is loaded. This file
// gives the library target a source of its own; it defines nothing.
