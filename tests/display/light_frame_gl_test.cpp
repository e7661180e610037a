// The light's frame computed on the CPU against the GL's own matrix stack.
//
// The model computes the current light's frame (its placement and direction)
// from the light-editing view's modelview and the arcball; the GL, given the
// same transforms the view draws the glyph with, must give the same frame bit
// for bit, for every arcball state a drag can produce.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
#include <memory>
#include <random>

#include "display/light_view_draw.h"
#include "model/light_control.h"
#include "model/light_steering.h"
#include "model/model.h"

namespace lumo {
namespace {

// A surfaceless EGL display with a small pbuffer, current for the test.
class EglContext {
  public:
    bool Open() {
        auto get_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (get_display == nullptr) return false;
        display_ =
            get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr))
            return false;
        if (!eglBindAPI(EGL_OPENGL_API)) return false;
        const EGLint config_attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                         EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config;
        EGLint count = 0;
        if (!eglChooseConfig(display_, config_attribs, &config, 1, &count) || count < 1)
            return false;
        const EGLint surface_attribs[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
        surface_ = eglCreatePbufferSurface(display_, config, surface_attribs);
        context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
        if (surface_ == EGL_NO_SURFACE || context_ == EGL_NO_CONTEXT) return false;
        return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
    }

    ~EglContext() {
        if (display_ == EGL_NO_DISPLAY) return;
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
        if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
        eglTerminate(display_);
    }

  private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLSurface surface_ = EGL_NO_SURFACE;
    EGLContext context_ = EGL_NO_CONTEXT;
};

// The frame as the GL computes it: the view's modelview, times the arcball's
// matrix, scaled by 0.75.
Mat4 GlFrame(const Mat4& view_modelview, const ArcBall& ball) {
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(view_modelview.data());
    glPushMatrix();
    glMultMatrixf(ball.matrix_now.data());
    glScalef(0.75f, 0.75f, 0.75f);
    Mat4 frame;
    glGetFloatv(GL_MODELVIEW_MATRIX, frame.data());
    glPopMatrix();
    return frame;
}

// The direction that frame gives: from its point at z = 1 to its origin.
Vec3 GlDirection(const Mat4& frame) {
    Vec4 p0(0, 0, 0, 1), p1(0, 0, 1, 1);
    MatTransform(p0, frame);
    MatTransform(p1, frame);
    Vec3 d;
    VecSub(p0, p1, d);
    VecNormalize(d);
    return d;
}

bool SameBits(const float* a, const float* b, size_t n) {
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

class LightFrameGlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(egl_.Open()) << "no surfaceless EGL context";
        model_ = std::make_unique<Model>();
        model_->lights.lightcnt = 3;
        model_->lights.currlight = 1;
        SetUpLightView(*model_);  // the view's modelview comes from the GL
        ASSERT_EQ(GL_NO_ERROR, glGetError());
    }

    // Steers the current light (as a redraw does) and compares the model's
    // direction and placement with the GL read-back; counts the states.
    void SteerAndCompare(const char* step) {
        SteerCurrentLight(*model_);
        const int32_t i = model_->lights.currlight;
        const LightControl& control = model_->lights.controls[static_cast<size_t>(i)];
        const LightSrc& light = model_->lights.table[static_cast<size_t>(i)];
        const Mat4 gl = GlFrame(model_->lightview.modelview, control.arcball);
        const Vec3 d = GlDirection(gl);
        const float gl_dir[3] = {d.x, d.y, d.z};
        const float cpu_dir[3] = {light.direction.x, light.direction.y,
                                  light.direction.z};
        ++states_;
        if (light.direction.z > -0.99f) ++turned_;
        if (!SameBits(gl.data(), control.placement.data(), 16) ||
            !SameBits(gl_dir, cpu_dir, 3)) {
            ++mismatches_;
            ADD_FAILURE() << std::setprecision(9) << step << " state " << states_
                          << ": GL direction (" << d.x << ", " << d.y << ", " << d.z
                          << "), CPU (" << cpu_dir[0] << ", " << cpu_dir[1] << ", "
                          << cpu_dir[2] << ")";
        }
    }

    EglContext egl_;
    std::unique_ptr<Model> model_;
    int states_ = 0;
    int mismatches_ = 0;
    int turned_ = 0;  // states whose light points well away from -z
};

TEST_F(LightFrameGlTest, CpuFrameMatchesTheGlReadBackBitForBitOverRandomDrags) {
    std::mt19937 rng(20261210u);
    // Pointers beyond the window too, so drags leave the arcball's disc.
    std::uniform_int_distribution<int32_t> pixel(-40, 340);
    std::uniform_int_distribution<int> moves(1, 6);
    const AxisSet sets[] = {FreeRotation, ViewAxes, ObjectAxes, FixedAxis};
    for (int drag = 0; drag < 2000 && mismatches_ < 5; ++drag) {
        const AxisSet set = sets[drag % 4];
        ArcBallMove(*model_, pixel(rng), pixel(rng), set);  // idle: picks set and axis
        SteerAndCompare("idle");
        ArcBallPress(*model_, pixel(rng), pixel(rng));
        SteerAndCompare("press");
        for (int k = moves(rng); k > 0; --k) {
            ArcBallMove(*model_, pixel(rng), pixel(rng), set);
            SteerAndCompare("drag");
        }
        ArcBallRelease(*model_);
        SteerAndCompare("release");
        if (drag % 200 == 199) {
            // Another light's arcball, starting from the prepared state.
            model_->lights.currlight = (model_->lights.currlight + 1) % 3;
        }
    }
    RecordProperty("states", states_);
    EXPECT_GE(states_, 10000);
    EXPECT_GT(turned_, states_ / 2);  // the drags really turn the light
    EXPECT_EQ(0, mismatches_);
    EXPECT_EQ(GL_NO_ERROR, glGetError());
}

TEST_F(LightFrameGlTest, TheLightViewsModelviewIsTheGlsTranslation) {
    // The frame starts from the view set up by the GL: three units back.
    Mat4 expected;
    MatIdentity(expected);
    expected[14] = -3.0f;
    EXPECT_TRUE(SameBits(expected.data(), model_->lightview.modelview.data(), 16));
    for (const LightControl& control : model_->lights.controls) {
        EXPECT_TRUE(SameBits(expected.data(), control.placement.data(), 16));
        EXPECT_EQ(0.75, control.arcball.radius);
    }
}

}  // namespace
}  // namespace lumo
