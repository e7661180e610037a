// The baker's ray tracer: analytic shapes, two materials, hard shadows.
//
// lumo has no captured relightable scenes to ship, so `lumotool bake` renders
// its demo with this small CPU ray tracer. A scene is a list of convex shapes
// (spheres, oriented boxes and a ground tile, a rectangle in a plane z = const
// facing +z) and a list of materials: a matte one (Lambertian reflectance,
// optionally in a two-colour checker) and a glossy one (the same plus a
// Blinn-Phong highlight).
//
// The light model is the one the relighting engine reproduces: the response
// of a surface point to light arriving from unit direction L (towards the
// light) is
//
//     response = V(L) * max(0, n.L) * (diffuse + specular * max(0, n.h)^shininess)
//
// with n the surface normal, h = normalise(L + view) the half vector, and V
// the hard-shadow visibility of the light (0 or 1). There is no ambient term
// and no distance falloff: a point light only changes the direction L from
// point to point (and shadows end at the light). A response of 1 is the full
// brightness of a white light (byte 255).
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "bake/vec3d.h"

namespace lumo::tool {

struct Material {
    Vec3d diffuse;         // matte reflectance per channel, 0..1
    Vec3d diffuse_alt;     // the second colour of a checkered surface
    double checker = 0.0;  // side of the checker squares in x and y; 0 = plain
    Vec3d specular;        // highlight colour; zero for a matte material
    int shininess = 1;     // Blinn-Phong exponent of the highlight
};

enum class ShapeKind : uint8_t { kSphere, kBox, kGround };

struct Shape {
    ShapeKind kind = ShapeKind::kSphere;
    Vec3d centre;         // sphere and box centre; the ground's centre point
    double radius = 0.0;  // sphere radius; bounding radius of a box
    Vec3d axis[3];        // box: its unit axes (right-handed, orthonormal)
    Vec3d half;           // box: half extents along its axes; ground: half sizes in x, y
    int material = 0;     // index into Scene::materials
};

struct Scene {
    std::vector<Shape> shapes;
    std::vector<Material> materials;
};

Shape MakeSphere(const Vec3d& centre, double radius, int material);
// A box of half extents `half` turned by `angle_z` radians about the z axis.
Shape MakeBox(const Vec3d& centre, const Vec3d& half, double angle_z, int material);
// The rectangle |x - centre.x| <= half_x, |y - centre.y| <= half_y in the
// plane z = centre.z, lit and seen from +z.
Shape MakeGround(const Vec3d& centre, double half_x, double half_y, int material);

struct Ray {
    Vec3d origin;
    Vec3d dir;  // unit: the ray parameter is the distance from the origin
};

struct SurfacePoint {
    double t = std::numeric_limits<double>::infinity();  // distance along the ray
    Vec3d point;
    Vec3d normal;    // unit, on the side the ray came from
    int shape = -1;  // index into Scene::shapes; -1: nothing was hit
    bool hit() const { return shape >= 0; }
};

// The nearest surface along `ray` at a distance above zero.
SurfacePoint Intersect(const Scene& scene, const Ray& ray);

// The two light-dependent factors of the response for one light direction:
// response = diffuse_colour * diffuse + material.specular * specular.
struct LightTerms {
    double diffuse = 0.0;   // V * max(0, n.L)
    double specular = 0.0;  // V * max(0, n.L) * max(0, n.h)^shininess
};

// Shades one surface point seen along a primary ray: evaluates the response
// for any number of light directions. It gathers once, from the point, what
// every other shape would occlude (each shape is convex, so a point is never
// shadowed by its own shape while it faces the light).
class PointShader {
  public:
    // `view` is the unit direction from the point towards the eye that sees it.
    PointShader(const Scene& scene, const SurfacePoint& surface, const Vec3d& view);

    // Terms for unit direction `to_light`. Shadows count only for occluders
    // nearer than `light_distance` (infinite for a directional light).
    LightTerms Terms(
        const Vec3d& to_light,
        double light_distance = std::numeric_limits<double>::infinity()) const;

    // Terms for `count` unit directions towards directional lights, each
    // multiplied by `weight` and rounded to float: diffuse[k], specular[k].
    // Gives exactly what Terms gives direction by direction.
    void TermsForDirections(const Vec3d* to_light, size_t count, double weight,
                            float* diffuse, float* specular) const;

    // diffuse_colour * terms.diffuse + specular * terms.specular.
    Vec3d Colour(const LightTerms& terms) const;

    const Vec3d& diffuse_colour() const { return diffuse_; }  // checker applied
    const Vec3d& specular_colour() const { return specular_; }
    bool glossy() const { return glossy_; }
    const Vec3d& point() const { return point_; }

  private:
    struct Caster {
        ShapeKind kind;
        Vec3d axis;          // unit direction from the point to the bounding centre
        double cos_cone;     // directions closer than this to `axis` may hit
        double centre_dist;  // distance to the centre
        double radius;       // sphere radius
        Vec3d local_origin;  // box: the point in box coordinates
        int shape;
    };
    bool Occluded(const Vec3d& dir, double max_dist) const;

    const Scene* scene_;
    Vec3d point_;
    Vec3d normal_;
    Vec3d view_;
    Vec3d diffuse_;
    Vec3d specular_;
    int shininess_ = 1;
    bool glossy_ = false;
    std::vector<Caster> casters_;
};

}  // namespace lumo::tool
