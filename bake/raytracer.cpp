#include "bake/raytracer.h"

#include <algorithm>
#include <cmath>

namespace lumo::tool {
namespace {

// Hits closer than this to a ray's origin are not counted: shadow rays start
// on a surface, and touching shapes (a sphere on the ground) meet at one point.
constexpr double kMinDistance = 1e-9;

double IntPower(double base, int exponent) {
    double result = 1.0;
    while (exponent > 0) {
        if (exponent & 1) result *= base;
        base *= base;
        exponent >>= 1;
    }
    return result;
}

Vec3d ToBox(const Shape& box, const Vec3d& v) {
    return {Dot(v, box.axis[0]), Dot(v, box.axis[1]), Dot(v, box.axis[2])};
}

// Slab test of a ray against a box in the box's own coordinates. On a hit,
// `near` is the entry distance and `face` the axis of the entry face.
bool BoxSlabs(const Vec3d& half, const Vec3d& origin, const Vec3d& dir, double& near,
              int& face) {
    const double o[3] = {origin.x, origin.y, origin.z};
    const double d[3] = {dir.x, dir.y, dir.z};
    const double h[3] = {half.x, half.y, half.z};
    double t_near = -std::numeric_limits<double>::infinity();
    double t_far = std::numeric_limits<double>::infinity();
    face = 0;
    for (int i = 0; i < 3; ++i) {
        if (d[i] == 0.0) {
            if (o[i] < -h[i] || o[i] > h[i]) return false;
            continue;
        }
        double t1 = (-h[i] - o[i]) / d[i];
        double t2 = (h[i] - o[i]) / d[i];
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > t_near) {
            t_near = t1;
            face = i;
        }
        t_far = std::min(t_far, t2);
        if (t_near > t_far) return false;
    }
    near = t_near;
    return t_near > kMinDistance;
}

// Distance along `ray` to `shape`, with the outward normal there; false if the
// ray misses it (or starts inside it).
bool HitShape(const Shape& shape, const Ray& ray, double& t, Vec3d& normal) {
    switch (shape.kind) {
        case ShapeKind::kSphere: {
            const Vec3d oc = ray.origin - shape.centre;
            const double b = Dot(oc, ray.dir);
            const double c = Dot(oc, oc) - shape.radius * shape.radius;
            const double disc = b * b - c;
            if (disc < 0.0) return false;
            t = -b - std::sqrt(disc);
            if (t <= kMinDistance) return false;
            normal = (ray.origin + ray.dir * t - shape.centre) * (1.0 / shape.radius);
            return true;
        }
        case ShapeKind::kBox: {
            int face = 0;
            if (!BoxSlabs(shape.half, ToBox(shape, ray.origin - shape.centre),
                          ToBox(shape, ray.dir), t, face)) {
                return false;
            }
            const double along = Dot(ray.dir, shape.axis[face]);
            normal = along < 0.0 ? shape.axis[face] : -shape.axis[face];
            return true;
        }
        case ShapeKind::kGround: {
            if (ray.dir.z == 0.0) return false;
            t = (shape.centre.z - ray.origin.z) / ray.dir.z;
            if (t <= kMinDistance) return false;
            const Vec3d p = ray.origin + ray.dir * t;
            if (std::fabs(p.x - shape.centre.x) > shape.half.x ||
                std::fabs(p.y - shape.centre.y) > shape.half.y) {
                return false;
            }
            normal = ray.dir.z < 0.0 ? Vec3d(0, 0, 1) : Vec3d(0, 0, -1);
            return true;
        }
    }
    return false;
}

}  // namespace

Shape MakeSphere(const Vec3d& centre, double radius, int material) {
    Shape s;
    s.kind = ShapeKind::kSphere;
    s.centre = centre;
    s.radius = radius;
    s.material = material;
    return s;
}

Shape MakeBox(const Vec3d& centre, const Vec3d& half, double angle_z, int material) {
    Shape s;
    s.kind = ShapeKind::kBox;
    s.centre = centre;
    s.half = half;
    s.radius = Length(half);
    const double c = std::cos(angle_z);
    const double sn = std::sin(angle_z);
    s.axis[0] = {c, sn, 0.0};
    s.axis[1] = {-sn, c, 0.0};
    s.axis[2] = {0.0, 0.0, 1.0};
    s.material = material;
    return s;
}

Shape MakeGround(const Vec3d& centre, double half_x, double half_y, int material) {
    Shape s;
    s.kind = ShapeKind::kGround;
    s.centre = centre;
    s.half = {half_x, half_y, 0.0};
    s.radius = std::hypot(half_x, half_y);
    s.material = material;
    return s;
}

SurfacePoint Intersect(const Scene& scene, const Ray& ray) {
    SurfacePoint best;
    for (size_t i = 0; i < scene.shapes.size(); ++i) {
        double t = 0.0;
        Vec3d normal;
        if (HitShape(scene.shapes[i], ray, t, normal) && t < best.t) {
            best.t = t;
            best.normal = normal;
            best.shape = static_cast<int>(i);
        }
    }
    if (best.hit()) best.point = ray.origin + ray.dir * best.t;
    return best;
}

PointShader::PointShader(const Scene& scene, const SurfacePoint& surface,
                         const Vec3d& view)
    : scene_(&scene), point_(surface.point), normal_(surface.normal), view_(view) {
    const Shape& own = scene.shapes[static_cast<size_t>(surface.shape)];
    const Material& m = scene.materials[static_cast<size_t>(own.material)];
    diffuse_ = m.diffuse;
    if (m.checker > 0.0) {
        const double cx = std::floor((point_.x - own.centre.x) / m.checker);
        const double cy = std::floor((point_.y - own.centre.y) / m.checker);
        if (std::fmod(std::fabs(cx + cy), 2.0) == 1.0) diffuse_ = m.diffuse_alt;
    }
    specular_ = m.specular;
    shininess_ = m.shininess;
    glossy_ = m.specular.x > 0.0 || m.specular.y > 0.0 || m.specular.z > 0.0;

    casters_.reserve(scene.shapes.size());
    for (size_t i = 0; i < scene.shapes.size(); ++i) {
        if (static_cast<int>(i) == surface.shape) continue;
        const Shape& s = scene.shapes[i];
        Caster c;
        c.kind = s.kind;
        c.shape = static_cast<int>(i);
        c.radius = s.radius;
        const Vec3d to_centre = s.centre - point_;
        c.centre_dist = Length(to_centre);
        c.axis = to_centre * (1.0 / c.centre_dist);
        if (s.kind == ShapeKind::kGround || c.centre_dist <= s.radius) {
            c.cos_cone = -2.0;  // no cone: every direction is tested
        } else {
            const double ratio = s.radius / c.centre_dist;
            c.cos_cone = std::sqrt(1.0 - ratio * ratio);
        }
        if (s.kind == ShapeKind::kBox) c.local_origin = ToBox(s, point_ - s.centre);
        casters_.push_back(c);
    }
}

bool PointShader::Occluded(const Vec3d& dir, double max_dist) const {
    for (const Caster& c : casters_) {
        const double cos_axis = Dot(dir, c.axis);
        if (cos_axis <= c.cos_cone) continue;
        const Shape& s = scene_->shapes[static_cast<size_t>(c.shape)];
        switch (c.kind) {
            case ShapeKind::kSphere: {
                // Inside the cone the ray meets the sphere; only the distance
                // is left to check.
                if (max_dist == std::numeric_limits<double>::infinity()) return true;
                const double along = c.centre_dist * cos_axis;
                const double off2 = c.centre_dist * c.centre_dist - along * along;
                const double near =
                    along - std::sqrt(std::max(0.0, c.radius * c.radius - off2));
                if (near < max_dist) return true;
                break;
            }
            case ShapeKind::kBox: {
                double near = 0.0;
                int face = 0;
                if (BoxSlabs(s.half, c.local_origin, ToBox(s, dir), near, face) &&
                    near < max_dist) {
                    return true;
                }
                break;
            }
            case ShapeKind::kGround: {
                double t = 0.0;
                Vec3d normal;
                if (HitShape(s, Ray{point_, dir}, t, normal) && t < max_dist) return true;
                break;
            }
        }
    }
    return false;
}

LightTerms PointShader::Terms(const Vec3d& to_light, double light_distance) const {
    LightTerms terms;
    const double cos_light = Dot(normal_, to_light);
    if (cos_light <= 0.0) return terms;
    if (Occluded(to_light, light_distance)) return terms;
    terms.diffuse = cos_light;
    if (glossy_) {
        const double nh = Dot(normal_, Normalize(to_light + view_));
        if (nh > 0.0) terms.specular = cos_light * IntPower(nh, shininess_);
    }
    return terms;
}

void PointShader::TermsForDirections(const Vec3d* to_light, size_t count, double weight,
                                     float* diffuse, float* specular) const {
    for (size_t k = 0; k < count; ++k) {
        const LightTerms t = Terms(to_light[k]);
        diffuse[k] = static_cast<float>(t.diffuse * weight);
        specular[k] = static_cast<float>(t.specular * weight);
    }
}

Vec3d PointShader::Colour(const LightTerms& terms) const {
    return diffuse_ * terms.diffuse + specular_ * terms.specular;
}

}  // namespace lumo::tool
