#include "app/main_view.h"

#include <cstdio>
#include <cstdlib>

#include "app/light_commands.h"
#include "app/tcl_vars.h"
#include "app/viewer_state.h"
#include "base/clock.h"
#include "display/main_frame.h"
#include "model/model_setup.h"

namespace lumo {

int MainViewCreate(Togl* togl) {
    Model& model = TheModel();
    Tcl_Interp* interp = Togl_Interp(togl);
    if (MainViewTogl() != nullptr) {
        Tcl_SetResult(
            interp,
            const_cast<char*>("only one main view (ident \"slabview\") is allowed"),
            TCL_STATIC);
        return TCL_ERROR;
    }
    SetMainViewTogl(togl);
    if (!model.scene.info) {
        LinkModelVariables(interp, model, TheLightEditTexts());
        model.relight.half = HalfFromEnvironment(std::getenv("LUMO_HALF"));
        InitModelOrExit(model, SceneFileName().c_str());
        InitGLState(model);
        ResetLightEditVars(togl);
        return TCL_OK;
    }
    // A main view made again after the first was deleted: the model is kept,
    // the new context gets the GL state and every image again.
    InitGLState(model);
    model.view.others_cache_light = -1;
    model.view.first_frame_done = 0;
    return TCL_OK;
}

void MainViewDestroyed(Togl* togl) {
    if (togl != MainViewTogl()) return;
    // The context the texture names belong to goes with the widget.
    MainViewTextures().Forget();
    SetMainViewTogl(nullptr);
}

void MainViewReshape(Togl* togl) {
    ResizeMainFrame(TheModel().view, Togl_Width(togl), Togl_Height(togl));
}

void MainViewDisplay(Togl* togl) {
    Model& model = TheModel();
    double t0 = 0.0;
    if (model.options.show_fps != 0) {
        t0 = GetSeconds();
    } else {
        model.meter.frame_time_total = 0.0;
        model.meter.frame_count = 0;
    }
    DrawMainFrame(model, MainViewTextures());
    FlushFrame();
    Togl_SwapBuffers(togl);
    if (model.options.show_fps != 0) {
        const double t1 = GetSeconds();
        if (t1 > t0 + 1e-6) {
            const double dt = t1 - t0;
            model.meter.frame_count += 1;
            model.meter.frame_time_total += dt;
            std::fprintf(stderr, "Current FrameRate = %f Hz\n", 1.0 / dt);
            std::fprintf(stderr, "Average FrameRate = %f Hz (%d)\n",
                         model.meter.frame_count / model.meter.frame_time_total,
                         model.meter.frame_count);
        }
    }
}

int HndDrawModeCommand(Togl* togl, int, const char*[]) {
    Model& model = TheModel();
    Togl* main = MainViewTogl();
    if (main == nullptr) return TCL_OK;
    Togl_MakeCurrent(main);
    ApplyDrawSlabMode(model.options);
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

int ClearFpsCommand(Togl*, int, const char*[]) {
    Model& model = TheModel();
    model.meter.frame_time_total = 0.0;
    model.meter.frame_count = 0;
    return TCL_OK;
}

}  // namespace lumo
