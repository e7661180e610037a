#include "display/frame_output.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/str_printf.h"
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
    if (Status s = ReadMainFrame(view, photo); !s.ok()) return s;
    photo.Invert();
    // Written whole under a temporary name and then renamed: a grab that
    // fails leaves no part of a picture under its name.
    AtomicWriteFailure failure;
    const Status written = WriteFileAtomically(
        path,
        [&](std::FILE* file) {
            std::fprintf(file, "P6\n%d %d\n255\n", view.window_width, view.window_height);
            const size_t bytes = photo.pixels.size();
            if (cp_fwrite(photo.pixels.data(), 1, bytes, file) < bytes ||
                std::fflush(file) != 0)
                return Status::Error("Error writing ppm file\n");
            return Status::Ok();
        },
        &failure);
    if (written.ok()) return written;
    if (failure.step == AtomicWriteFailure::Step::kCreate)
        return Status::Error("[SaveRGBImage]: cannot write image file\n");
    return Status::Error("Error writing ppm file\n");
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
    float modelview[16], projection[16], depth_range[2];
    GLint viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_DEPTH_RANGE, depth_range);
    std::string text = "ModelViewMatrix";
    for (float v : modelview)
        text += StrPrintf(" %f", v);
    text += "\nProjectionMatrix";
    for (float v : projection)
        text += StrPrintf(" %f", v);
    text += "\nViewport";
    for (GLint v : viewport)
        text += StrPrintf(" %d", v);
    text += "\nDepthRange";
    for (float v : depth_range)
        text += StrPrintf(" %f", v);
    // Written whole or not at all; a file that cannot be written is reported
    // and the request dropped, as one that cannot be made.
    if (!WriteFileAtomically("transfrm.txt", text).ok())
        std::fputs("Cannot write text transformation file transform.txt\n", stderr);
    view.dump_request = 0;
}

void FinishFrame() {
    glFinish();
}

}  // namespace lumo
