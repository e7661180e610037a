#include "app/rig_commands.h"

#include <string>

#include "app/light_commands.h"
#include "app/viewer_state.h"
#include "display/frame_output.h"
#include "display/main_frame.h"
#include "model/light_edit.h"
#include "model/light_rig.h"
#include "model/light_steering.h"
#include "model/view_path.h"

namespace lumo {
namespace {

ViewPath& RecordedPath() {
    static ViewPath path;
    return path;
}

int Fail(Togl* togl, const Status& status) {
    std::string message = status.message();
    while (!message.empty() && message.back() == '\n')
        message.pop_back();
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(message.c_str(), -1));
    return TCL_ERROR;
}

}  // namespace

int SaveLightsCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    if (Status s = WriteLightRig(argv[2], RigFromModel(TheModel())); !s.ok())
        return Fail(togl, s);
    return TCL_OK;
}

int OpenLightsCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    LightRig rig;
    if (Status s = ReadLightRig(argv[2], rig); !s.ok()) return Fail(togl, s);
    Model& model = TheModel();
    ApplyLightRig(model, rig);
    AimLightControls(model);
    Tcl_Obj* kinds = Tcl_NewListObj(0, nullptr);
    for (const LightSpec& light : rig.lights)
        Tcl_ListObjAppendElement(nullptr, kinds, Tcl_NewIntObj(light.kind));
    Tcl_SetObjResult(Togl_Interp(togl), kinds);
    return TCL_OK;
}

int EnvMapCommand(Togl* togl, int argc, const char* argv[]) {
    Model& model = TheModel();
    if (argc > 2) {
        if (Status s = SetCurrentEnvMap(model, argv[2]); !s.ok()) return Fail(togl, s);
    }
    const LightSrc* light = CurrentLight(model.lights);
    const std::string name = light != nullptr ? light->GetEnvName() : std::string();
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(name.c_str(), -1));
    return TCL_OK;
}

int SavePngCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    Togl* main = MainViewTogl();
    if (main == nullptr) return TCL_OK;
    Model& model = TheModel();
    // As grabscr: draw again (no swap) so the back buffer holds the frame.
    Togl_MakeCurrent(main);
    DrawMainFrame(model, MainViewTextures());
    FinishFrame();
    if (Status s = SaveFramePng(model.view, argv[2]); !s.ok()) return Fail(togl, s);
    return TCL_OK;
}

int AddKeyframeCommand(Togl* togl, int, const char*[]) {
    ViewPath& path = RecordedPath();
    const float time = path.keyframes.empty() ? 0.0f : path.keyframes.back().time + 1.0f;
    path.keyframes.push_back(KeyframeFromModel(TheModel(), time));
    Tcl_SetObjResult(Togl_Interp(togl),
                     Tcl_NewIntObj(static_cast<int>(path.keyframes.size())));
    return TCL_OK;
}

int SavePathCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    const ViewPath& path = RecordedPath();
    if (path.keyframes.empty())
        return Fail(togl, Status::Error("no keyframes: add one first\n"));
    if (Status s = WriteViewPath(argv[2], path); !s.ok()) return Fail(togl, s);
    return TCL_OK;
}

}  // namespace lumo
