// ScopedQuadric: a GLU quadric made for one drawing and deleted with it, so
// that no quadric outlives the code that set its style.
#pragma once

#include <GL/glu.h>

namespace lumo {

class ScopedQuadric {
  public:
    // A quadric with GLU's defaults and `draw_style` (GLU_FILL, GLU_SILHOUETTE, ...).
    explicit ScopedQuadric(GLenum draw_style) : quadric_(gluNewQuadric()) {
        gluQuadricDrawStyle(quadric_, draw_style);
    }
    ~ScopedQuadric() { gluDeleteQuadric(quadric_); }
    ScopedQuadric(const ScopedQuadric&) = delete;
    ScopedQuadric& operator=(const ScopedQuadric&) = delete;

    GLUquadricObj* get() const { return quadric_; }

  private:
    GLUquadricObj* quadric_;
};

}  // namespace lumo
