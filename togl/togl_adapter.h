// The Togl facilities lumo is written against, on top of Togl 2.0.
//
// lumo's views are Togl widgets with C++ callbacks: one create callback shared
// by every widget, per-widget display and reshape callbacks chosen at create
// time, and widget sub-commands called from Tcl as `pathName command args`
// whose handlers see the first argument at argv[2]. Togl 2.0 only offers
// callbacks as Tcl commands named in widget options, and rejects unknown
// sub-commands. The adapter registers generic Tcl callbacks as Togl's
// defaults (through the Tk option database, so scripts need not name them),
// keeps the per-widget callbacks in its own records, and wraps each widget's
// command so that registered sub-commands reach their handlers while Togl's
// own (configure, cget, postredisplay, ...) keep working.
//
// One ToglAdapter serves one interpreter; the program owns it and it must
// outlive the interpreter's widgets (the Tcl commands it installs point at it).
#pragma once

#include <tcl.h>

#include <functional>
#include <memory>
#include <string>

struct Togl;

namespace lumo {

class ToglAdapter {
  public:
    using Callback = std::function<void(Togl* togl)>;
    // A create callback may refuse a widget: it then sets a message in the
    // interpreter and returns TCL_ERROR, and the widget is not made.
    using CreateCallback = std::function<int(Togl* togl)>;
    // argv[0] is the widget's path, argv[1] the command's name, argv[2]
    // onwards the arguments. Handlers set the interpreter's result and return
    // TCL_OK (or TCL_ERROR for a call with too few arguments).
    using Command = std::function<int(Togl* togl, int argc, const char* argv[])>;

    ToglAdapter();
    ~ToglAdapter();
    ToglAdapter(const ToglAdapter&) = delete;
    ToglAdapter& operator=(const ToglAdapter&) = delete;

    // Installs the adapter in `interp`, in which Tcl, Tk and Togl are
    // initialised. Returns TCL_ERROR with a message in the interpreter on
    // failure.
    int Install(Tcl_Interp* interp);

    // The create callback of every Togl widget made from now on (a script's
    // own -createcommand overrides it).
    void SetCreateFunc(CreateCallback create);

    // The display and reshape callbacks of one widget, normally set by its
    // create callback. Togl calls reshape right after create, and display from
    // Tk's idle handling after Togl_PostRedisplay; the widget's context is
    // current in both.
    void SetDisplayFunc(Togl* togl, Callback display);
    void SetReshapeFunc(Togl* togl, Callback reshape);

    // Called when a widget is deleted (destroyed, or its command removed),
    // while its Togl is still valid; the widget's callbacks are not called
    // again.
    void SetDestroyFunc(Callback destroyed);

    // Called before and after every create, display and reshape callback and
    // every sub-command, with its widget (after also when the call failed):
    // for work that must follow whatever the callback changed.
    void SetCallbackHooks(Callback before, Callback after);

    // Every callback and sub-command runs inside this boundary: an allocation
    // failure (std::bad_alloc) never travels through Tcl's and Togl's C
    // frames. The program's callbacks and sub-commands that run out of memory
    // leave the program running: a sub-command made by CreateCommand returns
    // a Tcl error, "not enough memory for 'PATH NAME ARGS...'"; a create
    // callback refuses the widget with the Tcl error "not enough memory for
    // 'PATH create'"; a display or reshape callback is left where it failed
    // (the frame is skipped) and the line "not enough memory for 'PATH
    // display'" (or "reshape") goes to the report (below). Elsewhere (the
    // adapter's own records, the hooks, the destroy callback) it ends the
    // program with `otherwise` on standard error and status 1, or with
    // `on_create` while a widget is being made.
    void SetOutOfMemoryMessages(const char* on_create, const char* otherwise);
    // Where a display or reshape callback's out-of-memory line goes (without
    // a newline); standard error unless set.
    using Report = std::function<void(Togl* togl, const std::string& line)>;
    void SetOutOfMemoryReport(Report report);

    // Makes `name` a sub-command of every Togl widget, existing and future.
    void CreateCommand(const char* name, Command command);

    // The Togl widget whose command is `path`, or null.
    Togl* FromPath(Tcl_Interp* interp, const char* path) const;

    // The callbacks, the sub-commands and the per-widget records (defined in
    // the source; the installed Tcl commands point at it).
    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace lumo
