#include "display/headless_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include "base/str_printf.h"

namespace lumo {
namespace {

Status EglFailure(const char* what) {
    return Status::Error(StrPrintf("[HeadlessContext]: %s (EGL error 0x%04x)\n", what,
                                   static_cast<unsigned>(eglGetError())));
}

}  // namespace

Status HeadlessContext::Open(int32_t width, int32_t height) {
    auto get_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_display == nullptr) return EglFailure("no eglGetPlatformDisplayEXT");
    EGLDisplay display =
        get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) return EglFailure("no surfaceless display");
    if (!eglInitialize(display, nullptr, nullptr))
        return EglFailure("cannot initialise the surfaceless display");
    display_ = display;
    if (!eglBindAPI(EGL_OPENGL_API)) return EglFailure("no desktop OpenGL");
    const EGLint config_attribs[] = {EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_DEPTH_SIZE,
                                     16,
                                     EGL_NONE};
    // EGL lists deeper colour first; the viewer's windows have 8 bits per
    // channel, and blended passes round differently in deeper buffers.
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attribs, configs, 64, &count) || count < 1)
        return EglFailure("no pbuffer configuration");
    EGLConfig config = nullptr;
    for (EGLint i = 0; i < count && config == nullptr; ++i) {
        EGLint r = 0, g = 0, b = 0;
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &b);
        if (r == 8 && g == 8 && b == 8) config = configs[i];
    }
    if (config == nullptr) return EglFailure("no pbuffer with 8 bits per channel");
    const EGLint surface_attribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surface_attribs);
    if (surface == EGL_NO_SURFACE) return EglFailure("cannot make the pbuffer");
    surface_ = surface;
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) return EglFailure("cannot make the context");
    context_ = context;
    if (eglMakeCurrent(display, surface, surface, context) != EGL_TRUE)
        return EglFailure("cannot make the context current");
    return Status::Ok();
}

HeadlessContext::~HeadlessContext() {
    if (display_ == nullptr) return;
    EGLDisplay display = static_cast<EGLDisplay>(display_);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != nullptr)
        eglDestroyContext(display, static_cast<EGLContext>(context_));
    if (surface_ != nullptr)
        eglDestroySurface(display, static_cast<EGLSurface>(surface_));
    eglTerminate(display);
}

}  // namespace lumo
