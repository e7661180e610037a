#include "togl/togl_adapter.h"

#include "togl/togl_include.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

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
            return it->second(record->togl, objc, argv.data());
        }
    }
    return record->togl_proc(record->togl_data, interp, objc, objv);
}

void WidgetDeleted(ClientData data) {
    auto* record = static_cast<WidgetRecord*>(data);
    if (record->togl_delete != nullptr) record->togl_delete(record->togl_delete_data);
    Records().erase(record->togl);
}

WidgetRecord* RecordFromPath(Tcl_Interp* interp, const char* path) {
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, path, &info) || info.objProc != WidgetCommand)
        return nullptr;
    return static_cast<WidgetRecord*>(info.objClientData);
}

// lumo::create PATH: wraps the new widget's command, then runs the program's
// create callback.
int CreateCallback(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
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
    return g_create != nullptr ? g_create(togl) : TCL_OK;
}

int DisplayCallback(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 2) return TCL_OK;
    WidgetRecord* record = RecordFromPath(interp, Tcl_GetString(objv[1]));
    if (record != nullptr && record->display != nullptr) record->display(record->togl);
    return TCL_OK;
}

int ReshapeCallback(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 2) return TCL_OK;
    WidgetRecord* record = RecordFromPath(interp, Tcl_GetString(objv[1]));
    if (record != nullptr && record->reshape != nullptr) record->reshape(record->togl);
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
