// LightSrc: one user-placed light.
//
// A light has a kind, a colour, the direction in which its light travels and
// a distance from the scene origin, from which its position follows. A slide
// projector also carries a slide image and a projection frame that maps
// directions leaving the light onto the slide; the frame is recomputed lazily
// (every setter that can change it marks `changed`, and the next lookup
// recomputes it and reports the frame once to the sink the caller gives).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/message_sink.h"
#include "base/status.h"
#include "geom/mat.h"
#include "geom/vec.h"
#include "io/photo.h"
#include "relight/env_projection.h"

namespace lumo {

inline constexpr int MAX_LIGHTS = 30;

// Directions within this of a slide projector's plane, and hits within this of
// a slide edge, give no light.
inline constexpr double kSlideMargin = 0.005;

enum LightKind : uint8_t {
    Directional = 0,     // from a direction at infinity: only `direction` matters
    Point = 1,           // at `position`; the direction differs per surface point
    Environment = 2,     // the environment light: lights with its map, if it has one
                         // (relight/env_projection.h); without one nothing is
                         // reconstructed
    SlideProjector = 3,  // at `position`, projecting the slide image
};

// A colour or an intensity, r, g, b.
struct Rgb {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;

    bool operator==(const Rgb&) const = default;
};

// Bilinear lookup of `photo` at (s, t) in 0..1 (s along the columns, t along
// the rows), each channel divided by 255. The right and lower neighbours are
// clamped to the last column and row; a photo without pixels gives no light.
Rgb SampleSlide(const Photo& photo, float s, float t);

class LightSrc {
  public:
    LightKind kind = Directional;
    float color[4] = {1.0f, 1.0f, 1.0f,
                      1.0f};  // r, g, b scale reconstruction; all four go to GL
    Vec4 direction{0.0f, 0.0f, -1.0f,
                   0.0f};  // where the light travels; toward it is -direction
    Vec4 position{0.0f, 0.0f, 3.0f, 1.0f};     // always -radius * direction
    float radius = 3.0f;                       // distance from the origin
    uint8_t changed = 1;                       // the slide frame must be recomputed
    char slidename[256] = {};                  // file name of the slide image
    Photo slide;                               // the slide image
    Vec4 slideup{0.0f, 1.0f, 0.0f, 0.0f};      // replaced by UpdateSlideFrame
    Vec4 slidelookat{0.0f, 0.0f, 0.0f, 0.0f};  // point the projector aims at
    float slidehangle = 30.0f;                 // horizontal field angle, degrees
    float slidevangle = 30.0f;                 // vertical field angle, degrees
    // Derived by UpdateSlideFrame.
    Vec4 slidenormal;          // unit vector from position toward slidelookat
    float slideplane[4] = {};  // nx, ny, nz, d of the slide plane n.X + d = 0
    Vec4 slidex;               // unit horizontal axis of the slide
    Vec4 slidecenter;          // slide centre, one unit in front of the light
    float slidewidth = 0.0f;   // slide width at unit distance
    float slideheight = 0.0f;  // slide height at unit distance
    uint8_t slidevalid = 0;    // the frame is defined (see UpdateSlideFrame)
    // The environment light (kind Environment).
    std::shared_ptr<const EnvMap> envmap;  // none: the light reconstructs nothing
    float envspin = 0.0f;                  // degrees about the zenith, right-handed
    EnvProjectionCache envcache;           // the map's projections, per slab frame

    // A light in its default state (Init) with an empty slide.
    LightSrc() { Init(); }

    // Every field of the table to its default: a white directional light
    // travelling along (0, 0, -1) from (0, 0, 3), empty slide name, no
    // environment map, spin 0, changed set. The derived slide fields and the slide image
    // are left as they are.
    void Init();

    // r, g, b of color.
    Rgb GetColor() const { return {color[0], color[1], color[2]}; }
    // color[channel] * 255 truncated and clamped to 0..255; -1 for a channel
    // outside 0..2.
    int GetColorByte(int channel) const;

    // position = direction * -radius.
    void UpdatePosition();
    // direction x, y, z = d (w kept); updates the position; marks changed.
    void SetDirection(const Vec3& d);
    // radius = r; updates the position (does not mark changed).
    void SetRadius(float r);
    // kind = k; marks changed.
    void SetKind(LightKind k);
    void SetSlideLookAt(const Vec3& p);  // marks changed
    void SetSlideUp(const Vec3& up);     // marks changed

    // Whether this is an environment light with a map.
    bool HasEnvironment() const { return kind == Environment && envmap != nullptr; }
    // The environment's frame from direction and envspin.
    EnvFrame GetEnvFrame() const;
    // The environment's name: its map's file, or empty.
    std::string GetEnvName() const { return envmap ? envmap->name : std::string(); }
    // Reads the map `path` (relight/env_map.h) and gives it to the light; a
    // failure leaves the light unchanged and returns the reader's message.
    Status SetEnvMap(const std::string& path);

    const char* GetSlideName() const { return slidename; }
    // Copies at most 255 characters of `name` into slidename, then loads the
    // file into `slide` with the SGI reader (a file that cannot be read leaves
    // the slide without pixels, which gives no light). Fails with "This source
    // is not a slide projector!!\n" when the light is not a slide projector or
    // the name is empty, or with the SGI reader's own failure (memory, a size
    // the file cannot hold).
    Status SetSlideName(std::string_view name);
    // As SetSlideName, with the slide already read from `name`: copies
    // `image` instead of reading the file again.
    Status SetSlide(std::string_view name, const Photo& image);

    // For a slide projector: recomputes the derived slide fields from position,
    // slidelookat and the angles, clears changed and reports the frame to
    // `report`, one line at a time. The up vector always starts from (0, 1, 0) and is
    // projected into the slide plane. A projector whose look-at point equals
    // its position, or whose axis runs along the y axis, has no frame: the
    // derived vectors become 0, slidevalid 0, and every lookup gives no light.
    // Other kinds: nothing.
    void UpdateSlideFrame(const MessageSink& report);

    // The slide projector's intensity in unit direction d (leaving the light):
    // updates the frame first when changed (reporting it to `report`), then
    // SlideIntensity.
    // Fails with "[LightSrc::GetIntenInDir]: you are not using slide
    // projector!!\n" for other kinds.
    Status GetIntenInDir(const Vec3& d, Rgb& out, const MessageSink& report);

    // The intensity in direction d from the current frame, without updating
    // it: (0, 0, 0) when d does not head into the slide (d.n <= 0.005), when
    // it meets the slide within 0.005 of an edge or beyond, or when the frame
    // is undefined; otherwise the slide sample times color. Safe to call from
    // several threads at once.
    Rgb SlideIntensity(const Vec3& d) const;
};

}  // namespace lumo
