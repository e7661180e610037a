#include "app/image_output.h"

#include <GL/gl.h>

#include <cstdio>
#include <string>

#include "app/main_view.h"
#include "app/viewer_state.h"
#include "io/checked_io.h"
#include "io/fatal.h"
#include "io/file_ptr.h"
#include "io/photo.h"
#include "io/str_printf.h"

namespace lumo {

void SaveRGBImage(const Model& model, const char* path) {
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::fprintf(stderr, "%d %d %d %d\n", viewport[0], viewport[1], viewport[2],
                 viewport[3]);
    std::fprintf(stderr, "%d %d\n", model.window_width, model.window_height);
    Photo photo;
    FatalIfError(photo.Alloc(model.window_width, model.window_height));
    FilePtr file = OpenFile(path, "wb");
    if (!file) Fatal("[SaveRGBImage]: cannot write image file\n");
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, model.window_width, model.window_height, GL_RGB, GL_UNSIGNED_BYTE,
                 photo.pixels.data());
    photo.Invert();
    std::fprintf(file.get(), "P6\n%d %d\n255\n", model.window_width, model.window_height);
    const size_t bytes = photo.pixels.size();
    if (cp_fwrite(photo.pixels.data(), 1, bytes, file.get()) < bytes ||
        std::fflush(file.get()) != 0) {
        Fatal("Error writing ppm file\n");
    }
}

void WriteTransformDump(Model& model) {
    FilePtr file = OpenFile("transfrm.txt", "w");
    if (!file) {
        std::fputs("Cannot write text transformation file transform.txt\n", stderr);
        model.dump_request = 0;
        return;
    }
    float modelview[16], projection[16], depth_range[2];
    GLint viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_DEPTH_RANGE, depth_range);
    std::FILE* f = file.get();
    std::fputs("ModelViewMatrix", f);
    for (float v : modelview)
        std::fprintf(f, " %f", v);
    std::fputs("\nProjectionMatrix", f);
    for (float v : projection)
        std::fprintf(f, " %f", v);
    std::fputs("\nViewport", f);
    for (GLint v : viewport)
        std::fprintf(f, " %d", v);
    std::fputs("\nDepthRange", f);
    for (float v : depth_range)
        std::fprintf(f, " %f", v);
    model.dump_request = 0;
}

int GrabScreenCommand(Togl*, int, const char*[]) {
    Model& model = TheModel();
    Togl* main = MainViewTogl();
    if (main == nullptr) return TCL_OK;
    const std::string name = StrPrintf("img%04d.ppm", model.grab_counter);
    model.grab_counter += 1;
    // A back buffer's contents after a swap are undefined: draw the frame
    // again (without swapping) so the grab reads what the view shows.
    Togl_MakeCurrent(main);
    DrawMainFrame(model);
    glFinish();
    SaveRGBImage(model, name.c_str());
    return TCL_OK;
}

int RecordTransformCommand(Togl* togl, int, const char*[]) {
    TheModel().dump_request = 1;
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

}  // namespace lumo
