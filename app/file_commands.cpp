#include "app/file_commands.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/light_commands.h"
#include "app/main_view.h"
#include "app/viewer.h"
#include "base/fatal.h"
#include "base/str_printf.h"
#include "display/frame_output.h"
#include "display/main_frame.h"
#include "model/light_edit.h"
#include "model/light_rig.h"
#include "model/light_steering.h"
#include "model/view_path.h"

namespace lumo {
namespace {

// A name is taken when anything (a dangling link included) has it.
bool NameTaken(const std::string& name) {
    std::error_code ec;
    return std::filesystem::symlink_status(name, ec).type() !=
           std::filesystem::file_type::not_found;
}

int Fail(Togl* togl, const Status& status) {
    std::string message = status.message();
    while (!message.empty() && message.back() == '\n')
        message.pop_back();
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(message.c_str(), -1));
    return TCL_ERROR;
}

}  // namespace

int GrabScreenCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    Model& model = viewer.model;
    Togl* main = viewer.main_view;
    if (main == nullptr) return TCL_OK;
    // Grabs never overwrite: the first name not taken at or after the
    // counter, which then counts on from there.
    std::string name = StrPrintf("img%04d.ppm", model.meter.grab_counter);
    while (NameTaken(name) && model.meter.grab_counter < INT32_MAX - 1) {
        model.meter.grab_counter += 1;
        name = StrPrintf("img%04d.ppm", model.meter.grab_counter);
    }
    model.meter.grab_counter += 1;
    // A back buffer's contents after a swap are undefined: draw the frame
    // again (without swapping) so the grab reads what the view shows.
    Togl_MakeCurrent(main);
    if (Status s = PrepareMainFrame(viewer); !s.ok()) return Fail(togl, s);
    FatalIfError(DrawMainFrame(model, viewer.main_textures));
    FinishFrame();
    FatalIfError(SaveFramePpm(model.view, name.c_str()));
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(name.c_str(), -1));
    return TCL_OK;
}

int RequestTransformDumpCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    viewer.model.view.dump_request = 1;
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

int SaveLightsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    if (Status s = WriteLightRig(argv[2], RigFromModel(viewer.model)); !s.ok())
        return Fail(togl, s);
    return TCL_OK;
}

int OpenLightsCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    LightRig rig;
    if (Status s = ReadLightRig(argv[2], rig); !s.ok()) return Fail(togl, s);
    Model& model = viewer.model;
    FatalIfError(ApplyLightRig(model, rig));
    AimLightControls(model);
    Tcl_Obj* kinds = Tcl_NewListObj(0, nullptr);
    for (const LightSpec& light : rig.lights)
        Tcl_ListObjAppendElement(nullptr, kinds, Tcl_NewIntObj(light.kind));
    Tcl_SetObjResult(Togl_Interp(togl), kinds);
    return TCL_OK;
}

int EnvMapCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    Model& model = viewer.model;
    if (argc > 2) {
        if (Status s = SetCurrentEnvMap(model, argv[2]); !s.ok()) return Fail(togl, s);
    }
    const LightSrc* light = CurrentLight(model.lights);
    const std::string name = light != nullptr ? light->GetEnvName() : std::string();
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(name.c_str(), -1));
    return TCL_OK;
}

int SavePngCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    Togl* main = viewer.main_view;
    if (main == nullptr) return TCL_OK;
    Model& model = viewer.model;
    // As grabscr: draw again (no swap) so the back buffer holds the frame.
    Togl_MakeCurrent(main);
    if (Status s = PrepareMainFrame(viewer); !s.ok()) return Fail(togl, s);
    FatalIfError(DrawMainFrame(model, viewer.main_textures));
    FinishFrame();
    Photo frame;
    FatalIfError(ReadMainFrame(model.view, frame));
    if (Status s = SaveFramePng(frame, argv[2]); !s.ok()) return Fail(togl, s);
    return TCL_OK;
}

int AddKeyframeCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    ViewPath& path = viewer.recorded_path;
    const float time = path.keyframes.empty() ? 0.0f : path.keyframes.back().time + 1.0f;
    path.keyframes.push_back(KeyframeFromModel(viewer.model, time));
    Tcl_SetObjResult(Togl_Interp(togl),
                     Tcl_NewIntObj(static_cast<int>(path.keyframes.size())));
    return TCL_OK;
}

int SavePathCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "file")) return TCL_ERROR;
    const ViewPath& path = viewer.recorded_path;
    if (path.keyframes.empty())
        return Fail(togl, Status::Error("no keyframes: add one first\n"));
    if (Status s = WriteViewPath(argv[2], path); !s.ok()) return Fail(togl, s);
    return TCL_OK;
}

}  // namespace lumo
