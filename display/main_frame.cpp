#include "display/main_frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/str_printf.h"
#include "display/frame_output.h"
#include "display/screen_scale.h"
#include "display/slab_draw.h"
#include "display/view_camera.h"
#include "model/view_inspection.h"

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

Status LightPass(Model& model, SlabTextures& textures, int32_t light, int32_t slab) {
    if (TracePasses()) std::fprintf(stderr, "light pass %d\n", light);
    return DrawLightPass(model, textures, light, slab, model.view.first_frame_done,
                         CenterOptions(model));
}

// Images drawn smaller than their size are minified through mipmaps; at one
// image pixel per window pixel, or larger after the view was magnified, each
// image pixel is drawn as its square of window pixels (a picture merely shown
// larger than its size stays smooth).
TextureFilter ChooseFilter(const Model& model, const Mat4& mv, const Mat4& projection) {
    const LidInfo& info = *model.scene.info;
    for (int32_t i = 0; i < info.slab_count && i < 32; ++i) {
        if (model.scene.slab_visible[i] != 1) continue;
        const float texels =
            TexelsPerPixel(info.slabs[static_cast<size_t>(i)], mv, projection,
                           model.view.window_width, model.view.window_height);
        if (texels > 1.001f) return TextureFilter::kMipmapped;
        const bool pixels = texels >= 0.999f || model.view.inspect_scale > 1.0f;
        return pixels ? TextureFilter::kPixels : TextureFilter::kSmooth;
    }
    return TextureFilter::kSmooth;
}

// Draws every visible slab; stops at the first slab whose geometry fails.
Status DrawSlabs(Model& model, SlabTextures& textures, const Mat4& mv) {
    if (!model.scene.info) return Status::Ok();
    const int32_t lights = ClampLightCount(model.lights);
    for (int32_t i = 0; i < model.scene.info->slab_count; ++i) {
        if (i >= 32 || model.scene.slab_visible[i] != 1) continue;
        SlabRecord& slab = model.scene.info->slabs[static_cast<size_t>(i)];
        if (model.scene.qr_mode == 0) {
            Status drawn;
            if (model.options.drawslabmode == 0) {
                drawn = DrawSlabCorner(textures, slab, mv, 0, CornerOptions(model));
            } else if (model.options.drawslabmode == 1) {
                drawn = DrawSlabCenter(textures, slab, mv, 0, 0, nullptr,
                                       CenterOptions(model));
            }
            if (!drawn.ok()) return drawn;
            continue;
        }
        if (model.options.drawslabmode == 0) {
            SetQRCamera(slab, mv, InspectionMatrix(model.view));
            const Status drawn =
                DrawSlabCorner(textures, slab, mv, 1, CornerOptions(model));
            RestoreQRCamera();
            if (!drawn.ok()) return drawn;
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
                        if (Status s = LightPass(model, textures, j, i); !s.ok())
                            return s;
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
                if (Status s = LightPass(model, textures, model.lights.currlight, i);
                    !s.ok())
                    return s;
            }
            model.view.first_frame_done = 1;
        }
    }
    return Status::Ok();
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

Status DrawMainFrame(Model& model, SlabTextures& textures) {
    glClear(model.options.drawslabmode == 0 ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
                                            : GL_COLOR_BUFFER_BIT);
    // The inspection's magnification and shift act on the projected frame.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    if (Inspecting(model.view)) {
        Mat4 projection;
        glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
        glLoadMatrixf(InspectionMatrix(model.view).data());
        glMultMatrixf(projection.data());
    }
    Mat4 projection;
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    SetViewRotation(model.view);
    glScalef(model.view.zoom, model.view.zoom, model.view.zoom);
    if (model.view.dump_request != 0) WriteTransformDump(model.view);
    Mat4 mv;
    glGetFloatv(GL_MODELVIEW_MATRIX, mv.data());
    if (model.scene.info) textures.SetFilter(ChooseFilter(model, mv, projection));
    const Status drawn = DrawSlabs(model, textures, mv);
    textures.EndDrawing();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    return drawn;
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

float ActualPixelsScale(const Model& model) {
    if (!model.scene.info) return 0.0f;
    Mat4 projection, mv;
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    SetViewRotation(model.view);
    glScalef(model.view.zoom, model.view.zoom, model.view.zoom);
    glGetFloatv(GL_MODELVIEW_MATRIX, mv.data());
    glPopMatrix();
    const LidInfo& info = *model.scene.info;
    for (int32_t i = 0; i < info.slab_count && i < 32; ++i) {
        if (model.scene.slab_visible[i] != 1) continue;
        const SlabRecord& slab = info.slabs[static_cast<size_t>(i)];
        const ImageOnScreen s = ImagePlaneOnScreen(
            slab, mv, projection, model.view.window_width, model.view.window_height);
        if (!s.valid || !(s.across > 0.0f)) return 0.0f;
        return static_cast<float>(slab.samples_s) / s.across;
    }
    return 0.0f;
}

void FlushFrame() {
    glFlush();
}

}  // namespace lumo
