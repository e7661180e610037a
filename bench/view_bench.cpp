// What large pictures cost on screen, in the viewer's own drawing (headless:
// EGL surfaceless, llvmpipe):
//
// - the cost per upload of building mipmap levels (lumo's own, as the
//   drawing builds them, and glGenerateMipmap's) beside the upload alone,
//   for one picture of the size given and for the demo's 8 x 8 images of
//   128 x 128;
// - a light change on one relightable picture (default 6000 x 4000, 24 MP,
//   2 bands, coefficients as half floats: about 0.6 GB) in a 512 x 512 main
//   view: at the start-up view (the whole picture, minified) and at actual
//   pixels, with preview (only the pixels in view relit and uploaded) and
//   without, each split into the relight and the drawing (upload, mipmaps,
//   drawing and read-back). At the start-up view preview relights the
//   picture reduced to the level its size on screen allows, and once more
//   at full resolution (the level dropped), as it did before levels; the
//   first change, which builds the level's coefficients, is printed apart.
//
// usage: view_bench [--width W] [--height H] [--bands L] [--changes N]
//
// Prints one line per figure on standard output (medians over N changes).
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "display/frame_output.h"
#include "display/headless_context.h"
#include "display/main_frame.h"
#include "display/shown_pixels.h"
#include "display/slab_textures.h"
#include "model/model_setup.h"
#include "model/view_inspection.h"
#include "relight/brdf_file.h"
#include "relight/brdf_levels.h"
#include "slab/slab_geometry.h"

namespace {

using namespace lumo;

constexpr int32_t kView = 512;

template <typename F>
void Quietly(F&& f) {
    std::fflush(stdout);
    const int out = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    f();
    std::fflush(stdout);
    dup2(out, STDOUT_FILENO);
    close(null);
    close(out);
}

double GetSeconds() {
    return std::chrono::duration<double>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// One texture of w x h RGB bytes uploaded `repeat` times: milliseconds per
// upload without and with mipmap levels built after it.
void UploadFigures(int32_t w, int32_t h, int32_t count, int repeat, const char* what) {
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    std::vector<GLuint> names(static_cast<size_t>(count));
    glGenTextures(count, names.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    Photo picture;
    picture.width = w;
    picture.height = h;
    picture.pixels = pixels;
    double ms[3] = {};
    for (int mip = 0; mip < 3; ++mip) {
        std::vector<double> times;
        for (int r = 0; r < repeat + 1; ++r) {
            glFinish();
            const double t0 = GetSeconds();
            for (GLuint name : names) {
                glBindTexture(GL_TEXTURE_2D, name);
                glTexImage2D(GL_TEXTURE_2D, 0, 3, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE,
                             pixels.data());
                if (mip == 1) UploadMipLevels(picture);
                if (mip == 2) glGenerateMipmap(GL_TEXTURE_2D);
            }
            glFinish();
            if (r > 0)
                times.push_back(1000.0 * (GetSeconds() - t0));  // the first warms up
        }
        ms[mip] = Median(times);
    }
    glDeleteTextures(count, names.data());
    std::printf(
        "upload %s: %.1f ms; with mipmap levels built by lumo %.1f ms, by "
        "glGenerateMipmap %.1f ms\n",
        what, ms[0], ms[1], ms[2]);
}

struct XorShift {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    float Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<float>(s >> 40) / static_cast<float>(1 << 24);
    }
};

// A one-camera relightable scene of one w x h picture, as model set-up
// would build it from a fitted photograph.
void MakeScene(Model& model, int32_t w, int32_t h, int32_t bands) {
    auto info = std::make_unique<LidInfo>();
    info->kind = kSceneSlab;
    info->slab_count = 1;
    SlabRecord& slab = info->slabs[0];
    slab.format = kFormatBRDF;
    slab.samples_u = slab.samples_v = 1;
    slab.samples_s = w;
    slab.samples_t = h;
    const float half_w = 0.6f,
                half_h = 0.6f * static_cast<float>(h) / static_cast<float>(w);
    const Vec4 uv[4] = {{-half_w, -half_h, 2, 1},
                        {half_w, -half_h, 2, 1},
                        {half_w, half_h, 2, 1},
                        {-half_w, half_h, 2, 1}};
    const Vec4 st[4] = {{-half_w, -half_h, 0, 1},
                        {half_w, -half_h, 0, 1},
                        {half_w, half_h, 0, 1},
                        {-half_w, half_h, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        slab.corner_vert[kPlaneUV][i] = uv[i];
        slab.corner_vert[kPlaneST][i] = st[i];
    }
    slab.viewenablemask[0].assign(1, 1);
    ComputeNormal(slab, 0);
    FatalIfError(BuildGridVertices(slab, 0));
    FatalIfError(BuildSamplePositions(slab, 0));
    FatalIfError(AllocVertexST(slab, 0));
    slab.photo[0].resize(1);
    FatalIfError(slab.photo[0][0].Alloc(w, h));
    slab.brdf.resize(1);
    slab.zfile.resize(1);
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const int32_t terms = bands * bands;
    {
        BrdfFileData data;
        data.width = w;
        data.height = h;
        data.lcnt = bands;
        data.harcnt = terms;
        XorShift rng;
        for (int ch = 0; ch < 3; ++ch) {
            data.count[ch] = static_cast<int32_t>(pixels);
            data.bitmap[ch].assign(data.BitmapBytes(), 0xFF);
            data.CC[ch].resize(pixels * static_cast<size_t>(terms));
            for (size_t i = 0; i < data.CC[ch].size(); ++i)
                data.CC[ch][i] = i % static_cast<size_t>(terms) == 0
                                     ? 0.6f + 0.3f * rng.Next()
                                     : 0.2f * rng.Next() - 0.1f;
        }
        FatalIfError(AssembleBrdfImage(data, slab.brdf[0], true));
    }
    FatalIfError(FinishBrdfImage(slab.brdf[0]));
    SetSlabTextureWindow(slab.photo[0][0], slab.brdf[0]);
    model.scene.slab_visible[0] = 1;
    for (LightSrc& light : model.lights.table)
        light.Init();
    model.lights.lightcnt = 1;
    model.lights.currlight = 0;
    LightSrc& first = model.lights.table[0];
    first.SetKind(Directional);
    first.color[0] = first.color[1] = first.color[2] = 1.0f;
    first.SetDirection(Vec3(0.0f, 0.0f, -1.0f));
    model.scene.info = std::move(info);
}

struct ChangeCost {
    double relight_ms = 0.0;
    double draw_ms = 0.0;
    double first_relight_ms = 0.0;  // the first change's relight
    double total() const { return relight_ms + draw_ms; }
};

// Light changes as the viewer's display callback makes them: the shown
// pixels, the relight, then the frame drawn and read back.
// With `full`, the reduction level is dropped: every image relit at full
// resolution.
ChangeCost LightChanges(Model& model, SlabTextures& textures, int changes, bool full) {
    std::vector<double> relight, draw;
    double first = 0.0;
    for (int c = 0; c < changes + 1; ++c) {
        const float a = 0.3f + 0.05f * static_cast<float>(c);
        model.lights.table[0].SetDirection(Vec3(0.3f * a, -0.2f, -1.0f));
        model.view.recon_request = 1;
        const double t0 = GetSeconds();
        FatalIfError(UpdateShownPixels(model));
        if (full) model.scene.info->slabs[0].shown_level.clear();
        Quietly([&] { FatalIfError(ReconstructModel(model)); });
        const double t1 = GetSeconds();
        FatalIfError(DrawMainFrame(model, textures));
        FinishFrame();
        Photo frame;
        FatalIfError(ReadMainFrame(model.view, frame));
        const double t2 = GetSeconds();
        if (c > 0) {  // the first uploads the texture whole
            relight.push_back(1000.0 * (t1 - t0));
            draw.push_back(1000.0 * (t2 - t1));
        } else {
            first = 1000.0 * (t1 - t0);
        }
    }
    return ChangeCost{Median(relight), Median(draw), first};
}

int Run(int argc, char** argv) {
    int32_t width = 6000, height = 4000, bands = 2;
    int changes = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (flag == "--width") width = value;
        if (flag == "--height") height = value;
        if (flag == "--bands") bands = value;
        if (flag == "--changes") changes = value;
    }
    if (width < 16 || height < 16 || bands < 1 || bands > 8 || changes < 1) {
        std::fprintf(
            stderr,
            "usage: view_bench [--width W] [--height H] [--bands L] [--changes N]\n");
        return 2;
    }
    HeadlessContext context;
    if (Status s = context.Open(kView, kView); !s.ok()) {
        std::fputs(s.message().c_str(), stderr);
        return 1;
    }
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    std::printf("GL: %s, largest texture %d\n",
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)), largest);
    UploadFigures(128, 128, 64, 5, "of the demo's 64 images of 128 x 128");
    const std::string one = std::to_string(width) + " x " + std::to_string(height);
    UploadFigures(width, height, 1, 3, ("of one " + one + " picture").c_str());

    auto model = std::make_unique<Model>();
    MakeScene(*model, width, height, bands);
    model->options.drawslabmode = 0;
    InitGLState(*model);
    Quietly([&] { FatalIfError(ResizeMainFrame(model->view, kView, kView)); });
    const double pixels = static_cast<double>(width) * height;
    std::printf("light change on one %s picture (%d bands), %d x %d view:\n", one.c_str(),
                bands, kView, kView);
    struct Row {
        bool actual;
        int preview;
        bool full;  // preview without the reduction level
    };
    for (const Row row : {Row{false, 1, false}, Row{false, 1, true}, Row{false, 0, false},
                          Row{true, 1, false}, Row{true, 0, false}}) {
        ResetView(model->view);
        if (row.actual) SetInspectScale(model->view, ActualPixelsScale(*model));
        model->options.preview = row.preview;
        // Each row starts from coefficients without levels.
        model->scene.info->slabs[0].brdf[0].levels.clear();
        SlabTextures textures;
        const ChangeCost cost = LightChanges(*model, textures, changes, row.full);
        const SlabRecord& slab = model->scene.info->slabs[0];
        size_t relit = 0;
        int32_t level = 0;
        for (size_t k = 0; k < slab.fresh.size(); ++k) {
            const int32_t l = k < slab.fresh_level.size() ? slab.fresh_level[k] : 0;
            const PixelRect r =
                LevelArea(slab.fresh[k], l, LevelSide(width, l), LevelSide(height, l));
            level = std::max(level, l);
            if (!r.empty())
                relit += static_cast<size_t>(r.x1 - r.x0 + 1) *
                         static_cast<size_t>(r.y1 - r.y0 + 1);
        }
        std::string what = row.preview ? "on" : "off";
        if (row.preview && !row.actual)
            what = row.full ? "on, full resolution"
                            : "on (reduced to level " + std::to_string(level) + ")";
        std::printf(
            "  %-14s preview %-27s: %7.1f ms (relight %7.1f, draw %6.1f); %.2f MP "
            "relit (%.2f%%)\n",
            row.actual ? "actual pixels" : "start-up view", what.c_str(), cost.total(),
            cost.relight_ms, cost.draw_ms, static_cast<double>(relit) / 1e6,
            100.0 * static_cast<double>(relit) / pixels);
        if (level > 0)
            std::printf("  %-14s the first change, building level %d: relight %.1f ms\n",
                        "", level, cost.first_relight_ms);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(argc, argv);
}
