// Togl's header (with Tcl, Tk and Xlib) for lumo's code. Xlib defines a macro
// named Status, which would rename lumo::Status wherever both are seen; every
// file that needs Togl or Tk includes this header instead of theirs.
#pragma once

#include <togl.h>

#ifdef Status
#undef Status
#endif
