#include "display/frame_output.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/file_ptr.h"
#include "io/checked_io.h"
#include "io/image_file.h"
#include "io/photo.h"

namespace lumo {

Status SaveFramePpm(const MainView& view, const char* path) {
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::fprintf(stderr, "%d %d %d %d\n", viewport[0], viewport[1], viewport[2],
                 viewport[3]);
    std::fprintf(stderr, "%d %d\n", view.window_width, view.window_height);
    Photo photo;
    FilePtr file = OpenFile(path, "wb");
    if (!file) return Status::Error("[SaveRGBImage]: cannot write image file\n");
    if (Status s = ReadMainFrame(view, photo); !s.ok()) return s;
    photo.Invert();
    std::fprintf(file.get(), "P6\n%d %d\n255\n", view.window_width, view.window_height);
    const size_t bytes = photo.pixels.size();
    if (cp_fwrite(photo.pixels.data(), 1, bytes, file.get()) < bytes ||
        std::fflush(file.get()) != 0) {
        return Status::Error("Error writing ppm file\n");
    }
    return Status::Ok();
}

Status ReadMainFrame(const MainView& view, Photo& photo) {
    if (Status s = photo.Alloc(view.window_width, view.window_height); !s.ok()) return s;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, view.window_width, view.window_height, GL_RGB, GL_UNSIGNED_BYTE,
                 photo.pixels.data());
    return Status::Ok();
}

Status SaveFramePng(Photo& frame, const std::string& path) {
    frame.Invert();
    return WritePng8(path, frame.width, frame.height, 3, frame.pixels);
}

void WriteTransformDump(MainView& view) {
    FilePtr file = OpenFile("transfrm.txt", "w");
    if (!file) {
        std::fputs("Cannot write text transformation file transform.txt\n", stderr);
        view.dump_request = 0;
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
    view.dump_request = 0;
}

void FinishFrame() {
    glFinish();
}

}  // namespace lumo
