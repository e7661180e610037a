// Drawing of the arcball in the light-editing view's overlay.
#include <GL/gl.h>
#include <GL/glu.h>

#include "arcball/arcball.h"
#include "display/arcball_overlay.h"
#include "display/scoped_quadric.h"

namespace lumo {
namespace {

Vec4 Cross(const Vec4& a, const Vec4& b) {
    return Vec4(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x,
                0.0f);
}

// The great-circle arc from `from` to `to` as 16 segments of equal angle.
void DrawArc(const Vec4& from, const Vec4& to) {
    Vec4 p[17];
    p[0] = from;
    p[1] = p[16] = to;
    for (int i = 0; i < 4; ++i)
        p[1] = Bisect(p[0], p[1]);
    const float k = 2.0f * (p[0].x * p[1].x + p[0].y * p[1].y + p[0].z * p[1].z);
    for (int i = 2; i < 16; ++i) {
        p[i] = Vec4(k * p[i - 1].x - p[i - 2].x, k * p[i - 1].y - p[i - 2].y,
                    k * p[i - 1].z - p[i - 2].z, 0.0f);
    }
    glBegin(GL_LINE_STRIP);
    for (const Vec4& v : p)
        glVertex3f(v.x, v.y, v.z);
    glEnd();
}

// The half of the great circle perpendicular to n on the viewer's side.
void DrawHalfCircle(const Vec4& n) {
    const Vec4 p = HalfCircleStart(n);
    const Vec4 m = Cross(p, n);
    DrawArc(p, m);
    DrawArc(m, Vec4(-p.x, -p.y, -p.z, 0.0f));
}

}  // namespace

void BeginBallOverlay() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void EndBallOverlay() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void ArcBall::Draw() const {
    glColor3ub(255, 255, 255);
    const float r = static_cast<float>(radius);
    glScalef(r, r, r);
    const ScopedQuadric outline(GLU_SILHOUETTE);  // the rim and the axis circle
    gluDisk(outline.get(), 0.0, 1.0, 32, 1);
    glColor3ub(195, 31, 31);
    if (show_result != 0) DrawArc(result_from, result_to);
    if (axis_set != FreeRotation) {
        Vec4 axes[3];
        const int count = Axes(axis_set, axes);
        for (int i = 0; i < count; ++i) {
            if (i != axis_index) {
                if (is_dragging != 0) continue;
                glColor3ub(195, 127, 31);
            } else {
                glColor3ub(255, 255, 63);
            }
            if (axes[i].z == 1.0f) {
                gluDisk(outline.get(), 0.0, 1.0, 32, 1);
            } else {
                DrawHalfCircle(axes[i]);
            }
        }
    }
    glColor3ub(127, 255, 255);
    if (is_dragging != 0) DrawArc(arc_from, arc_to);
}

}  // namespace lumo
