#include "togl/togl_adapter.h"

#include "togl/togl_include.h"

#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/fatal.h"

namespace lumo {
namespace {

// What the adapter keeps per widget: its Togl, its C callbacks, and Togl's
// own widget command, which the wrapper forwards to.
struct WidgetRecord {
    Togl* togl = nullptr;
    ToglCallback display = nullptr;
    ToglCallback reshape = nullptr;
    Tcl_ObjCmdProc* togl_proc = nullptr;
    ClientData togl_data = nullptr;
    Tcl_CmdDeleteProc* togl_delete = nullptr;
    ClientData togl_delete_data = nullptr;
};

ToglCreateCallback g_create = nullptr;
ToglCallback g_destroyed = nullptr;
std::string g_no_memory_on_create = "not enough memory\n";
std::string g_no_memory = "not enough memory\n";

ToglCallback g_before = nullptr;
ToglCallback g_after = nullptr;

// Runs `f`; an allocation failure inside ends the program with `message`.
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
auto Hooked(Togl* togl, const std::string& message, F f) {
    if (g_before != nullptr) Guarded(message, [&] { g_before(togl); });
    struct After {
        Togl* togl;
        const std::string& message;
        ~After() {
            if (g_after != nullptr) Guarded(message, [&] { g_after(togl); });
        }
    } after{togl, message};
    return Guarded(message, f);
}
std::map<std::string, ToglCommandProc>& Commands() {
    static std::map<std::string, ToglCommandProc> commands;
    return commands;
}
std::map<Togl*, std::unique_ptr<WidgetRecord>>& Records() {
    static std::map<Togl*, std::unique_ptr<WidgetRecord>> records;
    return records;
}

int WidgetCommand(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* record = static_cast<WidgetRecord*>(data);
    if (objc >= 2) {
        const auto it = Commands().find(Tcl_GetString(objv[1]));
        if (it != Commands().end()) {
            std::vector<const char*> argv(static_cast<size_t>(objc) + 1, nullptr);
            for (int i = 0; i < objc; ++i)
                argv[static_cast<size_t>(i)] = Tcl_GetString(objv[i]);
            Tcl_ResetResult(interp);
            const ToglCommandProc proc = it->second;
            return Hooked(record->togl, g_no_memory,
                          [&] { return proc(record->togl, objc, argv.data()); });
        }
    }
    return record->togl_proc(record->togl_data, interp, objc, objv);
}

void WidgetDeleted(ClientData data) {
    auto* record = static_cast<WidgetRecord*>(data);
    Togl* togl = record->togl;
    if (g_destroyed != nullptr) Guarded(g_no_memory, [&] { g_destroyed(togl); });
    if (record->togl_delete != nullptr) record->togl_delete(record->togl_delete_data);
    Records().erase(togl);
}

WidgetRecord* RecordFromPath(Tcl_Interp* interp, const char* path) {
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, path, &info) || info.objProc != WidgetCommand)
        return nullptr;
    return static_cast<WidgetRecord*>(info.objClientData);
}

// lumo::create PATH: wraps the new widget's command, then runs the program's
// create callback.
int CreateWidget(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 2) return TCL_OK;
    Togl* togl = nullptr;
    if (Togl_GetToglFromObj(interp, objv[1], &togl) != TCL_OK) return TCL_ERROR;
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, Tcl_GetString(objv[1]), &info)) return TCL_ERROR;
    auto record = std::make_unique<WidgetRecord>();
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
    Records()[togl] = std::move(record);
    if (g_create == nullptr) return TCL_OK;
    return Hooked(togl, g_no_memory_on_create, [&] { return g_create(togl); });
}

int CreateCallback(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return Guarded(g_no_memory_on_create,
                   [&] { return CreateWidget(interp, objc, objv); });
}

int DisplayCallback(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 2) return TCL_OK;
    WidgetRecord* record = RecordFromPath(interp, Tcl_GetString(objv[1]));
    if (record != nullptr && record->display != nullptr)
        Hooked(record->togl, g_no_memory, [&] { record->display(record->togl); });
    return TCL_OK;
}

int ReshapeCallback(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 2) return TCL_OK;
    WidgetRecord* record = RecordFromPath(interp, Tcl_GetString(objv[1]));
    if (record != nullptr && record->reshape != nullptr)
        Hooked(record->togl, g_no_memory, [&] { record->reshape(record->togl); });
    return TCL_OK;
}

WidgetRecord* RecordOf(Togl* togl) {
    const auto it = Records().find(togl);
    return it == Records().end() ? nullptr : it->second.get();
}

}  // namespace

int ToglAdapterInit(Tcl_Interp* interp) {
    Tcl_CreateObjCommand(interp, "lumo::create", CreateCallback, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "lumo::display", DisplayCallback, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "lumo::reshape", ReshapeCallback, nullptr, nullptr);
    Tk_Window main = Tk_MainWindow(interp);
    if (main == nullptr) return TCL_ERROR;
    Tk_AddOption(main, "*Togl.createCommand", "lumo::create", TK_WIDGET_DEFAULT_PRIO);
    Tk_AddOption(main, "*Togl.displayCommand", "lumo::display", TK_WIDGET_DEFAULT_PRIO);
    Tk_AddOption(main, "*Togl.reshapeCommand", "lumo::reshape", TK_WIDGET_DEFAULT_PRIO);
    return TCL_OK;
}

void ToglCreateFunc(ToglCreateCallback create) {
    g_create = create;
}

void ToglDestroyFunc(ToglCallback destroyed) {
    g_destroyed = destroyed;
}

void ToglCallbackHooks(ToglCallback before, ToglCallback after) {
    g_before = before;
    g_after = after;
}

void ToglOutOfMemoryMessages(const char* on_create, const char* otherwise) {
    g_no_memory_on_create = on_create;
    g_no_memory = otherwise;
}

void ToglSetDisplayFunc(Togl* togl, ToglCallback display) {
    if (WidgetRecord* r = RecordOf(togl)) r->display = display;
}

void ToglSetReshapeFunc(Togl* togl, ToglCallback reshape) {
    if (WidgetRecord* r = RecordOf(togl)) r->reshape = reshape;
}

void ToglCreateCommand(const char* name, ToglCommandProc proc) {
    Commands()[name] = proc;
}

Togl* ToglFromPath(Tcl_Interp* interp, const char* path) {
    WidgetRecord* r = RecordFromPath(interp, path);
    return r != nullptr ? r->togl : nullptr;
}

}  // namespace lumo
