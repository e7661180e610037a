#include "app/image_output.h"

#include <string>

#include "app/viewer_state.h"
#include "base/str_printf.h"
#include "display/frame_output.h"
#include "display/main_frame.h"

namespace lumo {

int GrabScreenCommand(Togl* togl, int, const char*[]) {
    Model& model = TheModel();
    Togl* main = MainViewTogl();
    if (main == nullptr) return TCL_OK;
    const std::string name = StrPrintf("img%04d.ppm", model.meter.grab_counter);
    model.meter.grab_counter += 1;
    // A back buffer's contents after a swap are undefined: draw the frame
    // again (without swapping) so the grab reads what the view shows.
    Togl_MakeCurrent(main);
    DrawMainFrame(model, MainViewTextures());
    FinishFrame();
    SaveRGBImage(model.view, name.c_str());
    Tcl_SetObjResult(Togl_Interp(togl), Tcl_NewStringObj(name.c_str(), -1));
    return TCL_OK;
}

int RecordTransformCommand(Togl* togl, int, const char*[]) {
    TheModel().view.dump_request = 1;
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

}  // namespace lumo
