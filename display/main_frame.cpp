#include "display/main_frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/str_printf.h"
#include "display/frame_output.h"
#include "display/slab_draw.h"
#include "display/view_camera.h"

namespace lumo {
namespace {

SlabDrawOptions CornerOptions(const Model& model) {
    return SlabDrawOptions{model.options.skipconstpoly, model.options.constgridenable};
}

SlabDrawOptions CenterOptions(const Model& model) {
    return SlabDrawOptions{model.options.skipbilinpoly, model.options.bilingridenable};
}

// LUMO_TRACE=passes prints every per-light pass on standard error, to see
// the multi-light cache at work.
bool TracePasses() {
    static const bool trace = [] {
        const char* t = std::getenv("LUMO_TRACE");
        return t != nullptr && std::strstr(t, "passes") != nullptr;
    }();
    return trace;
}

void LightPass(Model& model, SlabTextures& textures, int32_t light, int32_t slab) {
    if (TracePasses()) std::fprintf(stderr, "light pass %d\n", light);
    DrawLightPass(model, textures, light, slab, model.view.first_frame_done,
                  CenterOptions(model));
}

void DrawSlabs(Model& model, SlabTextures& textures, const Mat4& mv) {
    if (!model.scene.info) return;
    const int32_t lights = ClampLightCount(model.lights);
    for (int32_t i = 0; i < model.scene.info->slab_count; ++i) {
        if (i >= 32 || model.scene.slab_visible[i] != 1) continue;
        SlabRecord& slab = model.scene.info->slabs[static_cast<size_t>(i)];
        if (model.scene.qr_mode == 0) {
            if (model.options.drawslabmode == 0) {
                DrawSlabCorner(textures, slab, mv, 0, CornerOptions(model));
            } else if (model.options.drawslabmode == 1) {
                DrawSlabCenter(textures, slab, mv, 0, 0, nullptr, CenterOptions(model));
            }
            continue;
        }
        if (model.options.drawslabmode == 0) {
            SetQRCamera(slab, mv);
            DrawSlabCorner(textures, slab, mv, 1, CornerOptions(model));
            RestoreQRCamera();
        } else if (model.options.drawslabmode == 1) {
            const size_t bytes = static_cast<size_t>(model.view.window_width) *
                                 static_cast<size_t>(model.view.window_height) * 3;
            const bool cache_usable =
                model.view.others_cache.size() == bytes && bytes > 0;
            if (lights > 1) {
                if (model.view.others_cache_light == model.lights.currlight &&
                    cache_usable) {
                    // The copy's fragments must not be textured: whatever
                    // texture the last pass (of either mode) left bound would
                    // modulate the cached image.
                    glPushAttrib(GL_ENABLE_BIT);
                    glDisable(GL_TEXTURE_2D);
                    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
                    glDrawBuffer(GL_BACK);
                    glDrawPixels(model.view.window_width, model.view.window_height,
                                 GL_RGB, GL_UNSIGNED_BYTE,
                                 model.view.others_cache.data());
                    glPopAttrib();
                } else {
                    for (int32_t j = 0; j < lights; ++j) {
                        if (j == model.lights.currlight) continue;
                        LightPass(model, textures, j, i);
                    }
                    if (cache_usable) {
                        glPixelStorei(GL_PACK_ALIGNMENT, 1);
                        glReadBuffer(GL_BACK);
                        glReadPixels(0, 0, model.view.window_width,
                                     model.view.window_height, GL_RGB, GL_UNSIGNED_BYTE,
                                     model.view.others_cache.data());
                        model.view.others_cache_light = model.lights.currlight;
                    }
                }
            }
            if (lights != 0) {
                LightPass(model, textures, model.lights.currlight, i);
            }
            model.view.first_frame_done = 1;
        }
    }
}

}  // namespace

void ApplyDrawSlabMode(const Options& options) {
    if (options.drawslabmode == 0) {
        glClearColor(0.6f, 0.6f, 0.8f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glDepthMask(GL_TRUE);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    } else if (options.drawslabmode == 1) {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }
}

void InitGLState(Model& model) {
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    gluPerspective(kMainViewFovYDegrees, 1.0, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    gluLookAt(0.0, 0.0, kMainViewEyeDistance, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glPushMatrix();
    glGetFloatv(GL_MODELVIEW_MATRIX, model.view.base_modelview.data());
    glLineWidth(1.0f);
    glFrontFace(GL_CW);
    glEnable(GL_AUTO_NORMAL);
    glEnable(GL_NORMALIZE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glEnable(GL_TEXTURE_2D);
    ApplyDrawSlabMode(model.options);
}

void DrawMainFrame(Model& model, SlabTextures& textures) {
    glClear(model.options.drawslabmode == 0 ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
                                            : GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    SetViewRotation(model.view);
    glScalef(model.view.zoom, model.view.zoom, model.view.zoom);
    if (model.view.dump_request != 0) WriteTransformDump(model.view);
    Mat4 mv;
    glGetFloatv(GL_MODELVIEW_MATRIX, mv.data());
    DrawSlabs(model, textures, mv);
    glPopMatrix();
}

Status ResizeMainFrame(MainView& view, int32_t width, int32_t height,
                       const MessageSink& out) {
    view.window_width = width;
    view.window_height = height;
    view.window_center[0] = view.window_width / 2;
    view.window_center[1] = view.window_height / 2;
    Emit(out,
         StrPrintf("window size : %d x %d\n", view.window_width, view.window_height));
    glViewport(0, 0, view.window_width, view.window_height);
    const size_t bytes =
        static_cast<size_t>(view.window_width > 0 ? view.window_width : 0) *
        static_cast<size_t>(view.window_height > 0 ? view.window_height : 0) * 3;
    if (!TryAssign(view.others_cache, bytes, uint8_t{0}))
        return Status::Error("No memory for string memory allocation\n");
    view.others_cache_light = -1;
    return Status::Ok();
}

void FlushFrame() {
    glFlush();
}

}  // namespace lumo
