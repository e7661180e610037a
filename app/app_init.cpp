#include "app/app_init.h"

#include <unistd.h>
#include "togl/togl_include.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/image_output.h"
#include "app/light_commands.h"
#include "app/light_view.h"
#include "app/main_view.h"
#include "app/rig_commands.h"
#include "base/fatal.h"
#include "display/light_glyphs.h"
#include "model/model.h"
#include "togl/togl_adapter.h"

namespace lumo {
namespace {

struct CommandEntry {
    const char* name;
    ToglCommandProc proc;
};

// The main view's and the light-editing commands, in registration order.
constexpr CommandEntry kCommands[] = {
    {"rectran", RecordTransformCommand},
    {"grabscr", GrabScreenCommand},
    {"lbdown", LbDownCommand},
    {"lbdrag", LbDragCommand},
    {"mbdown", MbDownCommand},
    {"mbup", MbUpCommand},
    {"mbdrag", MbDragCommand},
    {"hnddrawmode", HndDrawModeCommand},
    {"svnotifylightchg", NotifyLightChangeCommand},
    {"getinten", GetIntensityCommand},
    {"deletesrc", DeleteSourceCommand},
    {"chgltype", ChangeLightTypeCommand},
    {"changecolor", ChangeColorCommand},
    {"reflectlightinfo", ReflectLightInfoCommand},
    {"newlightvalue", NewLightValueCommand},
    {"clear_fps", ClearFpsCommand},
    {"savelights", SaveLightsCommand},
    {"openlights", OpenLightsCommand},
    {"envmap", EnvMapCommand},
    {"savepng", SavePngCommand},
    {"addkeyframe", AddKeyframeCommand},
    {"savepath", SavePathCommand},
};

// The light count and current light as they were before each callback (a
// callback may run others, as `update` runs redraws).
std::vector<std::pair<int32_t, int32_t>>& LightVarsBefore() {
    static std::vector<std::pair<int32_t, int32_t>> stack;
    return stack;
}

void BeforeCallback(Togl*) {
    const LightTable& lights = TheModel().lights;
    LightVarsBefore().emplace_back(lights.lightcnt, lights.currlight);
}

// A callback that changed lightcnt or currlight (deleting a light, keeping
// the count within the table) tells Tcl, so that write traces and widgets
// showing the variables follow; reads see the C value anyway.
void AfterCallback(Togl* togl) {
    if (LightVarsBefore().empty()) return;
    const auto [lightcnt, currlight] = LightVarsBefore().back();
    LightVarsBefore().pop_back();
    const LightTable& lights = TheModel().lights;
    Tcl_Interp* interp = Togl_Interp(togl);
    if (lights.lightcnt != lightcnt) Tcl_UpdateLinkedVar(interp, "lightcnt");
    if (lights.currlight != currlight) Tcl_UpdateLinkedVar(interp, "currlight");
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

int CreateView(Togl* togl) {
    const char* ident = Togl_Ident(togl);
    if (ident != nullptr && std::string_view(ident) == "slabview") {
        ToglSetDisplayFunc(togl, MainViewDisplay);
        ToglSetReshapeFunc(togl, MainViewReshape);
        return MainViewCreate(togl);
    }
    ToglSetDisplayFunc(togl, LightViewDisplay);
    ToglSetReshapeFunc(togl, LightViewReshape);
    return LightViewCreate(togl);
}

int AppInit(Tcl_Interp* interp) {
    // Tk's main procedure would report a failed initialisation and then carry
    // on to an event loop without a window, ending with status 0: a viewer
    // that cannot start (no display, no Togl) ends with status 1 instead.
    if (Tcl_Init(interp) == TCL_ERROR || Tk_Init(interp) == TCL_ERROR ||
        Togl_Init(interp) == TCL_ERROR || ToglAdapterInit(interp) == TCL_ERROR) {
        Fatal(std::string("application-specific initialization failed: ") +
              Tcl_GetStringResult(interp) + "\n");
    }
    ToglCreateFunc(CreateView);
    ToglDestroyFunc(MainViewDestroyed);
    ToglCallbackHooks(BeforeCallback, AfterCallback);
    // The model is built when the main view is made; afterwards the one
    // allocation of note inside a callback is the view's texture table.
    ToglOutOfMemoryMessages("[InitModel]: not enough memory\n",
                            "No memory for texname\n");
    for (const CommandEntry& c : kCommands)
        ToglCreateCommand(c.name, c.proc);
    RegisterLightViewCommands();
    InitTeapot();
    Tcl_SetVar(interp, "tcl_rcFileName", StartupScript().c_str(), TCL_GLOBAL_ONLY);
    return TCL_OK;
}

}  // namespace lumo
