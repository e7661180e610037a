#include "display/screen_scale.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "display/view_camera.h"
#include "model/view_inspection.h"

namespace lumo {

ImageOnScreen ImagePlaneOnScreen(const SlabRecord& slab, const Mat4& modelview,
                                 const Mat4& projection, int32_t w, int32_t h) {
    ImageOnScreen out;
    float x[4] = {}, y[4] = {};
    for (int i = 0; i < 4; ++i) {
        Vec4 v = slab.corner_vert[kPlaneST][i];
        MatTransform(v, modelview);
        MatTransform(v, projection);
        if (!(v.w > 0.0f)) return out;
        x[i] = 0.5f * (v.x / v.w + 1.0f) * static_cast<float>(w);
        y[i] = 0.5f * (v.y / v.w + 1.0f) * static_cast<float>(h);
    }
    out.across = std::hypot(x[1] - x[0], y[1] - y[0]);
    out.up = std::hypot(x[3] - x[0], y[3] - y[0]);
    out.across_longest = std::max(out.across, std::hypot(x[2] - x[3], y[2] - y[3]));
    out.up_longest = std::max(out.up, std::hypot(x[2] - x[1], y[2] - y[1]));
    out.valid = std::isfinite(out.across) && std::isfinite(out.up);
    return out;
}

float TexelsPerPixel(const SlabRecord& slab, const Mat4& modelview,
                     const Mat4& projection, int32_t w, int32_t h) {
    const ImageOnScreen s = ImagePlaneOnScreen(slab, modelview, projection, w, h);
    if (!s.valid || !(s.across > 0.0f) || !(s.up > 0.0f)) return 0.0f;
    return std::max(static_cast<float>(slab.samples_s) / s.across,
                    static_cast<float>(slab.samples_t) / s.up);
}

float FewestTexelsPerPixel(const SlabRecord& slab, const Mat4& modelview,
                           const Mat4& projection, int32_t w, int32_t h) {
    const ImageOnScreen s = ImagePlaneOnScreen(slab, modelview, projection, w, h);
    if (!s.valid || !(s.across_longest > 0.0f) || !(s.up_longest > 0.0f) ||
        !std::isfinite(s.across_longest) || !std::isfinite(s.up_longest))
        return 0.0f;
    return std::min(static_cast<float>(slab.samples_s) / s.across_longest,
                    static_cast<float>(slab.samples_t) / s.up_longest);
}

void CurrentFrameMatrices(const MainView& view, Mat4& modelview, Mat4& projection) {
    Mat4 base;
    glGetFloatv(GL_PROJECTION_MATRIX, base.data());
    if (Inspecting(view)) {
        MatMultiplyFloat(InspectionMatrix(view), base, projection);
    } else {
        projection = base;
    }
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    SetViewRotation(view);
    glScalef(view.zoom, view.zoom, view.zoom);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview.data());
    glPopMatrix();
}

}  // namespace lumo
