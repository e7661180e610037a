// lumotool render SCENE.lid OUTDIR [--path PATH.json] [--frames N] [--size WxH]
//                 [--light SPEC]... | [--rig FILE] [--mixed-lights]
//                 [--mode auto|corner|centre] [--magnify M|actual] [--pan DX,DY]
//                 [--format png|ppm] [--quiet]
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "base/str_printf.h"
#include "cli/light_args.h"
#include "cli/picture_format.h"
#include "cli/scene_setup.h"
#include "cli/tool_command.h"
#include "cli/turntable.h"
#include "display/frame_output.h"
#include "display/headless_context.h"
#include "display/main_frame.h"
#include "display/proportional_frame.h"
#include "display/slab_textures.h"
#include "model/light_rig.h"
#include "model/model_setup.h"
#include "model/start_mode.h"
#include "model/view_inspection.h"
#include "model/view_path.h"

namespace lumo::tool {
namespace {

struct RenderOptions {
    std::string scene;
    std::string outdir;
    std::string path;
    int frames = 60;
    std::string size = "512x512";
    std::vector<std::string> lights;
    std::string rig;
    std::string mode = "auto";
    std::string magnify = "1";
    std::string pan = "0,0";
    std::string format = "png";
    bool quiet = false;
    bool mixed = false;
};

bool ParseSize(const std::string& text, int32_t& w, int32_t& h) {
    char extra = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &extra) == 2 && w > 0 && h > 0 &&
           w <= 8192 && h <= 8192;
}

// --magnify: a positive number or "actual" (returned as 0).
bool ParseMagnify(const std::string& text, float& scale) {
    if (text == "actual") {
        scale = 0.0f;
        return true;
    }
    char extra = 0;
    return std::sscanf(text.c_str(), "%f%c", &scale, &extra) == 1 &&
           scale >= kMinInspectScale && scale <= kMaxInspectScale;
}

bool ParsePan(const std::string& text, float& dx, float& dy) {
    char extra = 0;
    return std::sscanf(text.c_str(), "%f,%f%c", &dx, &dy, &extra) == 2 &&
           std::isfinite(dx) && std::isfinite(dy);
}

// A text that differs whenever the lights differ.
std::string RigKey(const LightRig& rig) {
    std::string key =
        StrPrintf("%d %d %d", rig.harmonics, rig.current, rig.mixed ? 1 : 0);
    for (const LightSpec& l : rig.lights)
        key += "|" + FormatLightSpec(l);
    return key;
}

// Removes the frames of an earlier render beyond this one's `count`, once all
// of this one's are written, so that the folder holds one sequence: only
// regular files named as render names its frames ("frame.NNNN.png" or
// ".ppm", four digits or more) with a number of `count` or more. Nothing else
// in the folder is touched.
void RemoveLaterFrames(const std::string& outdir, int count) {
    static const std::regex frame_name(R"(frame\.([0-9]{4,})\.(png|ppm))");
    std::error_code ec;
    for (std::filesystem::directory_iterator it(outdir, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::smatch m;
        if (!std::regex_match(name, m, frame_name)) continue;
        const std::string digits = m[1].str();
        // Ten digits or more is beyond any count render takes.
        if (digits.size() < 10 && std::stol(digits) < count) continue;
        std::error_code e;
        if (it->is_symlink(e) || !it->is_regular_file(e)) continue;
        std::filesystem::remove(it->path(), e);
    }
}

int RunRender(const RenderOptions& o) {
    const ToolCommand& cmd = RenderCommand();
    PictureFormat format = PictureFormat::kPng;
    if (!ParsePictureFormat(o.format, format))
        return UsageError(cmd, "--format must be png or ppm");
    int32_t width = 0, height = 0;
    if (!ParseSize(o.size, width, height))
        return UsageError(cmd, "--size must be WxH, each 1..8192");
    if (o.frames < 1) return UsageError(cmd, "--frames must be at least 1");
    float magnify = 1.0f, pan_x = 0.0f, pan_y = 0.0f;
    if (!ParseMagnify(o.magnify, magnify))
        return UsageError(cmd, "--magnify must be a number from 1/64 to 4096, or actual");
    if (!ParsePan(o.pan, pan_x, pan_y)) return UsageError(cmd, "--pan must be DX,DY");
    if (o.mode != "auto" && o.mode != "corner" && o.mode != "centre")
        return UsageError(cmd, "--mode must be auto, corner or centre");
    // One cache for the lights and the path: a map named by both, or by many
    // keyframes, is read once.
    MapFileCache maps;
    std::optional<LightRig> given;
    if (int status = ReadLightArgs(cmd, o.lights, o.rig, given, &maps); status != 0)
        return status;
    std::optional<ViewPath> path;
    if (!o.path.empty()) {
        path.emplace();
        if (Status s = ReadViewPath(o.path, *path, &maps); !s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
    }

    HeadlessContext context;
    // Every frame is drawn as square tiles of the shorter side, each in a
    // buffer of exactly that size, as a square frame is drawn
    // (display/proportional_frame.h).
    if (Status s = context.Open(std::min(width, height), std::min(width, height));
        !s.ok()) {
        std::fputs(s.message().c_str(), stderr);
        return 1;
    }
    // The model is large (thirty lights with their slides); keep it off the stack.
    auto model = std::make_unique<Model>();
    if (o.quiet) model->console.Quiet();
    InitModelOrExitWithHint(*model, o.scene);
    if (o.mode == "auto") {
        model->options.drawslabmode =
            RenderAutoMode(*model->scene.info, model->scene.qr_mode ? 1 : 0);
    } else {
        model->options.drawslabmode = o.mode == "corner" ? kCornerMode : kCentreMode;
    }
    InitGLState(*model);
    // The view is the square of the shorter side; a longer side shows more of
    // the scene (display/proportional_frame.h). The line reports the frame's
    // size, as before.
    Emit(model->console.out, StrPrintf("window size : %d x %d\n", width, height));
    FatalIfError(ResizeMainFrame(model->view, std::min(width, height),
                                 std::min(width, height), MessageSink()));
    // The magnification and the shift hold for every frame (the eye still
    // follows the turntable or the path).
    if (magnify == 0.0f) magnify = ActualPixelsScale(*model);
    if (magnify > 0.0f) SetInspectScale(model->view, magnify);
    PanBy(model->view, pan_x, pan_y);
    // Every frame shows every image relit, whatever was in view before.
    model->options.preview = 0;
    if (given) FatalIfError(ApplyLightRig(*model, *given));
    LightRig base = RigFromModel(*model);
    // --mixed-lights mixes the lights of every frame, a path's rigs included.
    base.mixed = base.mixed || o.mixed;
    model->lights.mixed = base.mixed ? 1 : 0;
    std::string applied = RigKey(base);

    std::error_code ec;
    std::filesystem::create_directories(o.outdir, ec);
    if (!std::filesystem::is_directory(o.outdir)) {
        std::fprintf(stderr, "lumotool: render: cannot make the folder %s\n",
                     o.outdir.c_str());
        return 1;
    }

    const bool progress = !o.quiet && isatty(STDERR_FILENO);
    const float swing = TurntableSwing(*model);
    const int32_t mode0 = model->options.drawslabmode;
    SlabTextures textures;
    Photo frame;
    for (int i = 0; i < o.frames; ++i) {
        PathSample sample;
        if (path) {
            const float t0 = path->keyframes.front().time;
            const float t1 = path->keyframes.back().time;
            const float t = o.frames == 1 || i == o.frames - 1
                                ? (i == 0 ? t0 : t1)
                                : t0 + (t1 - t0) * static_cast<float>(i) /
                                           static_cast<float>(o.frames - 1);
            sample = SamplePath(*path, t);
        } else {
            sample.mode = mode0;
            sample.turn_y =
                swing * static_cast<float>(std::sin(2.0 * M_PI * i / o.frames));
        }
        const int32_t old_mode = model->options.drawslabmode;
        ApplyViewSample(*model, sample);
        if (model->options.drawslabmode != old_mode) ApplyDrawSlabMode(model->options);
        LightRig lights = sample.rig ? *sample.rig : base;
        lights.mixed = lights.mixed || o.mixed;
        std::string key = RigKey(lights);
        if (key != applied) {
            FatalIfError(ApplyLightRig(*model, lights));
            applied = std::move(key);
        }
        if (model->view.recon_request != 0) FatalIfError(ReconstructModel(*model));
        FatalIfError(DrawProportionalFrame(*model, textures, width, height, frame));
        const std::string ext = PictureExtension(format);
        const std::filesystem::path dir(o.outdir);
        const std::string name = StrPrintf("frame.%04d.%s", i, ext.c_str());
        // Both picture writers write atomically and name the file and the
        // reason when they fail.
        if (const Status s = WritePicture((dir / name).string(), frame, format);
            !s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
        if (progress) std::fprintf(stderr, "\rframe %d of %d", i + 1, o.frames);
    }
    if (progress) std::fputc('\n', stderr);
    RemoveLaterFrames(o.outdir, o.frames);
    return 0;
}

Runner ConfigureRender(CLI::App& sub) {
    auto options = std::make_shared<RenderOptions>();
    sub.add_option("SCENE.lid", options->scene)->required();
    sub.add_option("OUTDIR", options->outdir)->required();
    sub.add_option("--path", options->path);
    sub.add_option("--frames", options->frames);
    sub.add_option("--size", options->size);
    sub.add_option("--light", options->lights)->take_all()->allow_extra_args(false);
    sub.add_option("--rig", options->rig);
    sub.add_option("--mode", options->mode);
    sub.add_option("--magnify", options->magnify);
    sub.add_option("--pan", options->pan);
    sub.add_option("--format", options->format);
    sub.add_flag("--quiet", options->quiet);
    sub.add_flag("--mixed-lights", options->mixed);
    return [options]() { return RunRender(*options); };
}

}  // namespace

const ToolCommand& RenderCommand() {
    static const ToolCommand command{
        "render",
        "render SCENE.lid OUTDIR [--path PATH.json] [--frames N] [--size WxH] "
        "[--light SPEC]... | [--rig FILE] [--mixed-lights] [--mode auto|corner|centre] "
        "[--magnify M|actual] [--pan DX,DY] [--format png|ppm] [--quiet]",
        "Draw frames of the main view without a display",
        "Draws the main view as the viewer does, in an OpenGL context without a\n"
        "display (EGL surfaceless), and writes OUTDIR/frame.0000.png, ... Each frame\n"
        "is written under a temporary name and renamed when complete; after the last,\n"
        "frames of an earlier render numbered from N on are removed, so that the\n"
        "folder holds one sequence.\n"
        "\n"
        "Options:\n"
        "  --path FILE     keyframes of the view, mode and lights (JSON); N frames\n"
        "                  spread evenly from the first keyframe's time to the last's\n"
        "  --frames N      number of frames (default 60); without --path a turntable\n"
        "                  swinging the eye across the camera plane and back; frame 0\n"
        "                  is the viewer's start-up view\n"
        "  --size WxH      frame size (default 512x512); the scene keeps its\n"
        "                  proportions: a wider frame shows more at the sides (its\n"
        "                  centre H x H square is the H x H frame), a taller one more\n"
        "                  above and below\n"
        "  --light SPEC    one light per flag, key=value pairs separated by spaces or\n"
        "                  semicolons: kind=dir|point|slide|env|reserved (default dir)\n"
        "                  dir=X,Y,Z (travel direction)  radius=R  color=R,G,B (0..1)\n"
        "                  slide projectors: lookat=X,Y,Z  up=X,Y,Z  fov=H,V (degrees)\n"
        "                  slide=FILE; environments: map=FILE  spin=DEG\n"
        "  --rig FILE      the lights of a rig file (not with --light)\n"
        "  --mixed-lights  several lights each by their own kind, added (every frame,\n"
        "                  a path's rigs included); by default several lights act as\n"
        "                  directional lights (a rig: \"mixed\": true)\n"
        "  --mode M        auto, corner or centre (default auto: centre when every\n"
        "                  slab has at least 2 x 2 cameras, else corner)\n"
        "  --magnify M     magnify the frame M times about its centre (1/64..4096;\n"
        "                  default 1); actual: one image pixel per frame pixel\n"
        "  --pan DX,DY     move the picture DX frame pixels right and DY down\n"
        "                  (after magnifying)\n"
        "  --format F      png or ppm (default png)\n"
        "  --quiet         nothing on standard output and no progress on standard\n"
        "                  error (progress is shown only on a terminal)\n",
        ConfigureRender,
    };
    return command;
}

}  // namespace lumo::tool
