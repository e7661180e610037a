#include "app/app_init.h"

#include <tcl.h>
#include <unistd.h>
#include "togl/togl_include.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "app/file_commands.h"
#include "app/light_commands.h"
#include "app/light_view.h"
#include "app/main_view.h"
#include "app/view_commands.h"
#include "app/viewer.h"
#include "base/fatal.h"
#include "display/light_glyphs.h"
#include "model/model.h"

namespace lumo {
namespace {

using ViewerCommand = int (*)(Viewer& viewer, Togl* togl, int argc, const char* argv[]);

struct CommandEntry {
    const char* name;
    ViewerCommand command;
};

// The views' widget commands.
constexpr CommandEntry kCommands[] = {
    {"rectran", RequestTransformDumpCommand},
    {"grabscr", GrabScreenCommand},
    {"lbdown", TurnPressCommand},
    {"lbdrag", TurnDragCommand},
    {"mbdown", ZoomPressCommand},
    {"mbup", ZoomReleaseCommand},
    {"mbdrag", ZoomDragCommand},
    {"hnddrawmode", ApplyDrawModeCommand},
    {"svnotifylightchg", ApplyLightEditsCommand},
    {"getinten", LightColourByteCommand},
    {"deletesrc", DeleteLightCommand},
    {"chgltype", ApplyLightKindCommand},
    {"changecolor", StageColourCommand},
    {"reflectlightinfo", LoadLightEditVarsCommand},
    {"newlightvalue", ResetLightEditVarsCommand},
    {"clear_fps", ResetFrameRateCommand},
    {"lightinfo", LightInfoCommand},
    {"savelights", SaveLightsCommand},
    {"openlights", OpenLightsCommand},
    {"envmap", EnvMapCommand},
    {"savepng", SavePngCommand},
    {"addkeyframe", AddKeyframeCommand},
    {"savepath", SavePathCommand},
    {"startmode", StartModeCommand},
    {"pan", PanCommand},
    {"actualpixels", ActualPixelsCommand},
    {"magnify", MagnifyCommand},
    {"resetview", ResetViewCommand},
    {"ab_lbdown", ArcBallPressCommand},
    {"ab_lbup", ArcBallReleaseCommand},
    {"ab_lbdrag", ArcBallFreeDragCommand},
    {"ab_clbdrag", ArcBallObjectAxesDragCommand},
    {"ab_slbdrag", ArcBallViewAxesDragCommand},
    {"ab_cslbdrag", ArcBallFixedAxisDragCommand},
};

// The interpreter's key for the run's Viewer, which AppInit finds there.
constexpr char kViewerKey[] = "lumo::viewer";

void BeforeCallback(Viewer& viewer) {
    const LightTable& lights = viewer.model.lights;
    viewer.light_vars_before.emplace_back(lights.lightcnt, lights.currlight);
}

// A callback that changed lightcnt or currlight (deleting a light, keeping
// the count within the table) tells Tcl, so that write traces and widgets
// showing the variables follow; reads see the C value anyway.
void AfterCallback(Viewer& viewer, Togl* togl) {
    if (viewer.light_vars_before.empty()) return;
    const auto [lightcnt, currlight] = viewer.light_vars_before.back();
    viewer.light_vars_before.pop_back();
    const LightTable& lights = viewer.model.lights;
    Tcl_Interp* interp = Togl_Interp(togl);
    if (lights.lightcnt != lightcnt) Tcl_UpdateLinkedVar(interp, "lightcnt");
    if (lights.currlight != currlight) Tcl_UpdateLinkedVar(interp, "currlight");
}

// The create callback shared by every Togl widget: the widget whose ident is
// "slabview" becomes the main view, any other the light-editing view.
int CreateView(Viewer& viewer, Togl* togl) {
    Viewer* v = &viewer;
    const char* ident = Togl_Ident(togl);
    if (ident != nullptr && std::string_view(ident) == "slabview") {
        viewer.adapter.SetDisplayFunc(togl, [v](Togl* t) { MainViewDisplay(*v, t); });
        viewer.adapter.SetReshapeFunc(togl, [v](Togl* t) { MainViewReshape(*v, t); });
        return MainViewCreate(viewer, togl);
    }
    viewer.adapter.SetDisplayFunc(togl, [v](Togl* t) { LightViewDisplay(*v, t); });
    viewer.adapter.SetReshapeFunc(togl, [v](Togl* t) { LightViewReshape(*v, t); });
    return LightViewCreate(viewer, togl);
}

// Tk's application-initialisation procedure (for Tk_MainEx).
int AppInit(Tcl_Interp* interp) {
    Viewer& viewer = *static_cast<Viewer*>(Tcl_GetAssocData(interp, kViewerKey, nullptr));
    ToglAdapter& adapter = viewer.adapter;
    // Tk's main procedure would report a failed initialisation and then carry
    // on to an event loop without a window, ending with status 0: a viewer
    // that cannot start (no display, no Togl) ends with status 1 instead.
    if (Tcl_Init(interp) == TCL_ERROR || Tk_Init(interp) == TCL_ERROR ||
        Togl_Init(interp) == TCL_ERROR || adapter.Install(interp) == TCL_ERROR) {
        Fatal(std::string("application-specific initialization failed: ") +
              Tcl_GetStringResult(interp) + "\n");
    }
    Viewer* v = &viewer;
    adapter.SetCreateFunc([v](Togl* togl) { return CreateView(*v, togl); });
    adapter.SetDestroyFunc([v](Togl* togl) { MainViewDestroyed(*v, togl); });
    adapter.SetCallbackHooks([v](Togl*) { BeforeCallback(*v); },
                             [v](Togl* togl) { AfterCallback(*v, togl); });
    // The model is built when the main view is made; afterwards the one
    // allocation of note inside a callback is the view's texture table.
    adapter.SetOutOfMemoryMessages("[InitModel]: not enough memory\n",
                                   "No memory for texname\n");
    // A view's display or reshape that runs out of memory is skipped and
    // reported, as a widget command's failure is; the viewer keeps its state.
    adapter.SetOutOfMemoryReport(ReportViewFailure);
    for (const CommandEntry& c : kCommands) {
        const ViewerCommand command = c.command;
        adapter.CreateCommand(c.name,
                              [v, command](Togl* togl, int argc, const char* argv[]) {
                                  return command(*v, togl, argc, argv);
                              });
    }
    InitTeapot();
    Tcl_SetVar(interp, "tcl_rcFileName", StartupScript().c_str(), TCL_GLOBAL_ONLY);
    return TCL_OK;
}

bool IsFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

std::string StartupScript() {
    if (IsFile("lumo.tcl")) return "./lumo.tcl";
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path dir = exe.parent_path();
        for (const std::filesystem::path& candidate :
             {dir / "lumo.tcl", dir.parent_path() / "share" / "lumo" / "lumo.tcl"}) {
            if (IsFile(candidate)) return candidate.string();
        }
    }
    return "./lumo.tcl";
}

int RunViewer(char* program, const char* scene_file) {
    // The Viewer lives until the process ends: Tk_MainEx ends the program
    // itself (Tcl_Exit) once the script exits or the main window is gone.
    auto viewer = std::make_unique<Viewer>(scene_file);
    Tcl_Interp* interp = Tcl_CreateInterp();
    Tcl_SetAssocData(interp, kViewerKey, nullptr, viewer.get());
    // Tk sees one argument: no script file, so it sources the start-up script
    // named in AppInit and then reads commands from standard input.
    char* argv[] = {program, nullptr};
    Tk_MainEx(1, argv, AppInit, interp);
    return 0;
}

}  // namespace lumo
