// Frames per second of `lumotool render` on the demo scene: the main view
// drawn headless (EGL surfaceless, llvmpipe) at 512 x 512 and 1024 x 1024,
// turning every frame as the turntable does, with the lights fixed and with
// the light moved every frame (so every frame reconstructs every image first).
// Each frame is read back as render does; writing the files is not timed.
//
// usage: render_bench [--scene DIR] [--frames N]
//
// Without --scene the demo is baked with lumotool bake's defaults into a
// temporary folder first. Prints one line per case on standard output.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "bake/bake_scene.h"
#include "base/clock.h"
#include "base/fatal.h"
#include "display/frame_output.h"
#include "display/headless_context.h"
#include "display/main_frame.h"
#include "display/slab_textures.h"
#include "model/light_rig.h"
#include "model/model_setup.h"

namespace {

using namespace lumo;

// Runs `f` with standard output and error silenced (model set-up's and the
// engine's progress lines).
template <typename F>
void Quietly(F&& f) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = dup(STDOUT_FILENO);
    const int err = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    f();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    close(null);
    close(out);
    close(err);
}

double FramesPerSecond(int size, bool move_light, int frames) {
    HeadlessContext context;
    if (Status s = context.Open(size, size); !s.ok()) {
        std::fputs(s.message().c_str(), stderr);
        std::exit(1);
    }
    auto model = std::make_unique<Model>();
    Quietly([&] {
        FatalIfError(InitModel(*model, "scene.lid"));
        InitGLState(*model);
        FatalIfError(ResizeMainFrame(model->view, size, size));
    });
    model->options.preview = 0;
    SlabTextures textures;
    Photo frame;
    LightRig rig;
    rig.lights.resize(1);
    double t0 = 0.0;
    for (int i = -1; i < frames; ++i) {  // frame -1 warms up (textures, caches)
        if (i == 0) t0 = GetSeconds();
        const float phase = static_cast<float>(2.0 * M_PI * (i + 1) / (frames + 1));
        model->view.view_turn_y = 0.05f * std::sin(phase);
        if (move_light) {
            rig.lights[0].direction =
                Vec3(0.4f * std::cos(phase), 0.4f * std::sin(phase), -1.0f);
            Quietly([&] { FatalIfError(ApplyLightRig(*model, rig)); });
        }
        Quietly([&] {
            if (model->view.recon_request != 0) FatalIfError(ReconstructModel(*model));
            FatalIfError(DrawMainFrame(*model, textures));
        });
        FinishFrame();
        FatalIfError(ReadMainFrame(model->view, frame));
    }
    return frames / (GetSeconds() - t0);
}

}  // namespace

int main(int argc, char** argv) {
    std::string scene;
    int frames = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scene") == 0 && i + 1 < argc) {
            scene = argv[++i];
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            frames = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: render_bench [--scene DIR] [--frames N]\n");
            return 2;
        }
    }
    std::filesystem::path temp;
    if (scene.empty()) {
        temp = std::filesystem::temp_directory_path() /
               ("render_bench." + std::to_string(getpid()));
        std::printf("baking the demo into %s ...\n", temp.c_str());
        std::fflush(stdout);
        const Status s =
            tool::BakeDemo(temp.string(), tool::BakeOptions{}, [](std::string_view) {});
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
        scene = temp.string();
    }
    std::filesystem::current_path(scene);
    std::printf("lumotool render on %s/scene.lid, %d frames per case, centre mode\n",
                scene.c_str(), frames);
    for (int size : {512, 1024}) {
        for (bool move : {false, true}) {
            const double fps = FramesPerSecond(size, move, frames);
            std::printf("%4d x %-4d  %-22s %7.1f frames/s\n", size, size,
                        move ? "light moved every frame" : "lights fixed", fps);
            std::fflush(stdout);
        }
    }
    if (!temp.empty()) {
        std::error_code ec;
        std::filesystem::current_path("/", ec);
        std::filesystem::remove_all(temp, ec);
    }
    return 0;
}
