#include "togl/togl_adapter.h"

#include "togl/togl_include.h"

#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/fatal.h"

namespace lumo {
namespace {

// What the adapter keeps per widget: its Togl, its callbacks, and Togl's own
// widget command, which the wrapper forwards to.
struct WidgetRecord {
    ToglAdapter::State* adapter = nullptr;
    Togl* togl = nullptr;
    ToglAdapter::Callback display;
    ToglAdapter::Callback reshape;
    Tcl_ObjCmdProc* togl_proc = nullptr;
    ClientData togl_data = nullptr;
    Tcl_CmdDeleteProc* togl_delete = nullptr;
    ClientData togl_delete_data = nullptr;
};

}  // namespace

struct ToglAdapter::State {
    CreateCallback create;
    Callback destroyed;
    Callback before;
    Callback after;
    std::string no_memory_on_create = "not enough memory\n";
    std::string no_memory = "not enough memory\n";
    ToglAdapter::Report report;
    std::map<std::string, Command> commands;
    std::map<Togl*, std::unique_ptr<WidgetRecord>> records;
};

namespace {

using State = ToglAdapter::State;

// Runs `f`; an allocation failure inside ends the program with `message`.
// Only the adapter's own bookkeeping and the program's hooks run here: the
// program's create, display, reshape and sub-command callbacks catch their own
// allocation failures below (a refused widget, a skipped frame, a Tcl error),
// and a hook that cannot allocate has no caller to hand the failure to.
template <typename F>
auto Guarded(const std::string& message, F f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        Fatal(message);
    }
}

// Runs the program's callback `f` for `togl` between the hooks.
template <typename F>
auto Hooked(State& state, Togl* togl, const std::string& message, F f) {
    if (state.before) Guarded(message, [&] { state.before(togl); });
    struct After {
        State& state;
        Togl* togl;
        const std::string& message;
        ~After() {
            if (state.after) Guarded(message, [&] { state.after(togl); });
        }
    } after{state, togl, message};
    return Guarded(message, f);
}

// The line of a callback of `togl` (named by `what`) that ran out of memory.
std::string NoMemoryLine(Togl* togl, const char* what) {
    const Tk_Window window = Togl_TkWin(togl);
    const char* path = window != nullptr ? Tk_PathName(window) : nullptr;
    return std::string("not enough memory for '") + (path != nullptr ? path : "?") + " " +
           what + "'";
}

// Runs a display or reshape callback; one that runs out of memory is
// reported and left there, and the program goes on.
void RunDrawingCallback(State& state, Togl* togl, const char* what,
                        const ToglAdapter::Callback& callback) {
    Hooked(state, togl, state.no_memory, [&] {
        try {
            callback(togl);
        } catch (const std::bad_alloc&) {
            const std::string line = NoMemoryLine(togl, what);
            if (state.report) {
                Guarded(state.no_memory, [&] { state.report(togl, line); });
            } else {
                std::fprintf(stderr, "%s\n", line.c_str());
            }
        }
    });
}

int WidgetCommand(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* record = static_cast<WidgetRecord*>(data);
    State& state = *record->adapter;
    if (objc >= 2) {
        const auto it = state.commands.find(Tcl_GetString(objv[1]));
        if (it != state.commands.end()) {
            std::vector<const char*> argv(static_cast<size_t>(objc) + 1, nullptr);
            for (int i = 0; i < objc; ++i)
                argv[static_cast<size_t>(i)] = Tcl_GetString(objv[i]);
            Tcl_ResetResult(interp);
            const ToglAdapter::Command& command = it->second;
            // A command that runs out of memory (a file too large for it) is
            // refused as a Tcl error naming it; the viewer keeps running.
            return Hooked(state, record->togl, state.no_memory, [&] {
                try {
                    return command(record->togl, objc, argv.data());
                } catch (const std::bad_alloc&) {
                    std::string words;
                    for (int i = 0; i < objc; ++i)
                        words += (i > 0 ? " " : "") +
                                 std::string(argv[static_cast<size_t>(i)]);
                    Tcl_SetObjResult(
                        interp,
                        Tcl_NewStringObj(
                            ("not enough memory for '" + words + "'").c_str(), -1));
                    return TCL_ERROR;
                }
            });
        }
    }
    return record->togl_proc(record->togl_data, interp, objc, objv);
}

void WidgetDeleted(ClientData data) {
    auto* record = static_cast<WidgetRecord*>(data);
    State& state = *record->adapter;
    Togl* togl = record->togl;
    if (state.destroyed) Guarded(state.no_memory, [&] { state.destroyed(togl); });
    if (record->togl_delete != nullptr) record->togl_delete(record->togl_delete_data);
    state.records.erase(togl);
}

WidgetRecord* RecordFromPath(Tcl_Interp* interp, const char* path) {
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, path, &info) || info.objProc != WidgetCommand)
        return nullptr;
    return static_cast<WidgetRecord*>(info.objClientData);
}

// lumo::create PATH: wraps the new widget's command, then runs the program's
// create callback.
int CreateWidget(State& state, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 2) return TCL_OK;
    Togl* togl = nullptr;
    if (Togl_GetToglFromObj(interp, objv[1], &togl) != TCL_OK) return TCL_ERROR;
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, Tcl_GetString(objv[1]), &info)) return TCL_ERROR;
    auto record = std::make_unique<WidgetRecord>();
    record->adapter = &state;
    record->togl = togl;
    record->togl_proc = info.objProc;
    record->togl_data = info.objClientData;
    record->togl_delete = info.deleteProc;
    record->togl_delete_data = info.deleteData;
    info.objProc = WidgetCommand;
    info.objClientData = record.get();
    info.proc = nullptr;  // string-based calls go through the object procedure
    info.clientData = record.get();
    info.deleteProc = WidgetDeleted;
    info.deleteData = record.get();
    Tcl_SetCommandInfo(interp, Tcl_GetString(objv[1]), &info);
    state.records[togl] = std::move(record);
    if (!state.create) return TCL_OK;
    // A create callback that runs out of memory refuses the widget.
    return Hooked(state, togl, state.no_memory_on_create, [&] {
        try {
            return state.create(togl);
        } catch (const std::bad_alloc&) {
            Tcl_SetObjResult(interp,
                             Tcl_NewStringObj(NoMemoryLine(togl, "create").c_str(), -1));
            return TCL_ERROR;
        }
    });
}

int CreateProc(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    State& state = *static_cast<State*>(data);
    return Guarded(state.no_memory_on_create,
                   [&] { return CreateWidget(state, interp, objc, objv); });
}

int DisplayProc(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    State& state = *static_cast<State*>(data);
    if (objc < 2) return TCL_OK;
    WidgetRecord* record = RecordFromPath(interp, Tcl_GetString(objv[1]));
    if (record != nullptr && record->display)
        RunDrawingCallback(state, record->togl, "display", record->display);
    return TCL_OK;
}

int ReshapeProc(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    State& state = *static_cast<State*>(data);
    if (objc < 2) return TCL_OK;
    WidgetRecord* record = RecordFromPath(interp, Tcl_GetString(objv[1]));
    if (record != nullptr && record->reshape)
        RunDrawingCallback(state, record->togl, "reshape", record->reshape);
    return TCL_OK;
}

WidgetRecord* RecordOf(State& state, Togl* togl) {
    const auto it = state.records.find(togl);
    return it == state.records.end() ? nullptr : it->second.get();
}

}  // namespace

ToglAdapter::ToglAdapter() : state_(std::make_unique<State>()) {}

ToglAdapter::~ToglAdapter() = default;

int ToglAdapter::Install(Tcl_Interp* interp) {
    ClientData data = state_.get();
    Tcl_CreateObjCommand(interp, "lumo::create", CreateProc, data, nullptr);
    Tcl_CreateObjCommand(interp, "lumo::display", DisplayProc, data, nullptr);
    Tcl_CreateObjCommand(interp, "lumo::reshape", ReshapeProc, data, nullptr);
    Tk_Window main = Tk_MainWindow(interp);
    if (main == nullptr) return TCL_ERROR;
    Tk_AddOption(main, "*Togl.createCommand", "lumo::create", TK_WIDGET_DEFAULT_PRIO);
    Tk_AddOption(main, "*Togl.displayCommand", "lumo::display", TK_WIDGET_DEFAULT_PRIO);
    Tk_AddOption(main, "*Togl.reshapeCommand", "lumo::reshape", TK_WIDGET_DEFAULT_PRIO);
    return TCL_OK;
}

void ToglAdapter::SetCreateFunc(CreateCallback create) {
    state_->create = std::move(create);
}

void ToglAdapter::SetDestroyFunc(Callback destroyed) {
    state_->destroyed = std::move(destroyed);
}

void ToglAdapter::SetCallbackHooks(Callback before, Callback after) {
    state_->before = std::move(before);
    state_->after = std::move(after);
}

void ToglAdapter::SetOutOfMemoryMessages(const char* on_create, const char* otherwise) {
    state_->no_memory_on_create = on_create;
    state_->no_memory = otherwise;
}

void ToglAdapter::SetOutOfMemoryReport(Report report) {
    state_->report = std::move(report);
}

void ToglAdapter::SetDisplayFunc(Togl* togl, Callback display) {
    if (WidgetRecord* r = RecordOf(*state_, togl)) r->display = std::move(display);
}

void ToglAdapter::SetReshapeFunc(Togl* togl, Callback reshape) {
    if (WidgetRecord* r = RecordOf(*state_, togl)) r->reshape = std::move(reshape);
}

void ToglAdapter::CreateCommand(const char* name, Command command) {
    state_->commands[name] = std::move(command);
}

Togl* ToglAdapter::FromPath(Tcl_Interp* interp, const char* path) const {
    WidgetRecord* r = RecordFromPath(interp, path);
    return r != nullptr ? r->togl : nullptr;
}

}  // namespace lumo
