// An OpenGL context without a display: Mesa's surfaceless EGL platform with a
// pbuffer as the default frame buffer, so the viewer's drawing code runs
// unchanged (double-buffered GL state, glReadPixels of GL_BACK) on a machine
// with no X server.
#pragma once

#include <cstdint>

#include "base/status.h"

namespace lumo {

class HeadlessContext {
  public:
    HeadlessContext() = default;
    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;
    ~HeadlessContext();

    // Creates a compatibility-profile context with a `width` x `height` RGB
    // pbuffer with a depth buffer and makes it current. Fails with
    // "[HeadlessContext]: WHAT (EGL error 0x....)\n".
    Status Open(int32_t width, int32_t height);

  private:
    void* display_ = nullptr;
    void* surface_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace lumo
