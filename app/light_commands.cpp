#include "app/light_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/tcl_vars.h"
#include "app/viewer_state.h"
#include "base/bounded_copy.h"
#include "base/lenient_number.h"
#include "base/str_printf.h"
#include "model/model_setup.h"
#include "relight/sh_basis.h"

namespace lumo {
namespace {

// 1/255 as the single-precision constant the colour commands use.
constexpr float kByteToUnit = 0.003921569f;
// Slide names are kept in 100-byte buffers.
constexpr size_t kMaxSlideName = 99;

Tcl_Interp* Interp(Togl* togl) {
    return Togl_Interp(togl);
}

void SetResultInt(Togl* togl, int value) {
    Tcl_SetObjResult(Interp(togl), Tcl_NewIntObj(value));
}

std::string Triple(const float v[3]) {
    return StrPrintf("%.1f,%.1f,%.1f", v[0], v[1], v[2]);
}

// Degrees within 0..180; below 0 or not a number gives 0.
float ClampAngle(float degrees) {
    if (!(degrees >= 0.0f)) return 0.0f;
    return std::min(degrees, 180.0f);
}

void ApplySlideName(Togl* togl, Model& model, LightSrc& light) {
    const char* name = model.slidename;
    if (name != nullptr && name[0] != '\0') {
        if (std::strlen(name) > kMaxSlideName) {
            std::fprintf(stderr,
                         "[svnotifylightchg]: slide name longer than %zu characters, the "
                         "slide is not changed: %s\n",
                         kMaxSlideName, name);
            return;
        }
        if (std::strncmp(name, model.last_slide_name, sizeof model.last_slide_name) == 0)
            return;
        const std::string chosen =
            name;  // the linked buffer may be replaced while loading
        CopyBounded(model.last_slide_name, chosen);
        light.SetSlideName(chosen);
        return;
    }
    SetStringVar(Interp(togl), "slidename", "slide.rgb");
    CopyBounded(model.last_slide_name, "slide.rgb");
    light.SetSlideName("slide.rgb");
}

}  // namespace

bool HaveArgs(Togl* togl, int argc, const char* argv[], int needed, const char* usage) {
    if (argc >= 2 + needed) return true;
    const std::string message = StrPrintf("wrong # args: should be \"%s %s%s%s\"",
                                          argv[0], argv[1], *usage ? " " : "", usage);
    Tcl_SetObjResult(Interp(togl), Tcl_NewStringObj(message.c_str(), -1));
    return false;
}

void ResetLightEditVars(Togl* togl) {
    Model& model = TheModel();
    Tcl_Interp* interp = Interp(togl);
    SetStringVar(interp, "harcnt_s", StrPrintf("%d", activeHarmonics));
    model.pending_radius = 3.0f;
    SetStringVar(interp, "radius_s", StrPrintf("%.3f", 3.0));
    const float lookat[3] = {0.0f, 0.0f, 0.0f};
    const float up[3] = {0.0f, 1.0f, 0.0f};
    std::copy(lookat, lookat + 3, model.pending_lookat);
    SetStringVar(interp, "slidelookat_s", Triple(lookat));
    std::copy(up, up + 3, model.pending_up);
    SetStringVar(interp, "slideup_s", Triple(up));
    model.pending_fov[0] = model.pending_fov[1] = 45.0f;
    SetStringVar(interp, "slidefov_s", StrPrintf("%.1f,%.1f", 45.0, 45.0));
    SetStringVar(interp, "slidename", "");
}

void ReflectLightInfo(Togl* togl) {
    Model& model = TheModel();
    LightSrc* light = CurrentLight(model);
    if (light == nullptr) return;
    Tcl_Interp* interp = Interp(togl);
    SetStringVar(interp, "harcnt_s", StrPrintf("%d", activeHarmonics));
    model.pending_radius = light->radius;
    SetStringVar(interp, "radius_s", StrPrintf("%.1f", double{light->radius}));
    const float lookat[3] = {light->slidelookat.x, light->slidelookat.y,
                             light->slidelookat.z};
    const float up[3] = {light->slideup.x, light->slideup.y, light->slideup.z};
    std::copy(lookat, lookat + 3, model.pending_lookat);
    SetStringVar(interp, "slidelookat_s", Triple(lookat));
    std::copy(up, up + 3, model.pending_up);
    SetStringVar(interp, "slideup_s", Triple(up));
    model.pending_fov[0] = light->slidehangle;
    model.pending_fov[1] = light->slidevangle;
    SetStringVar(
        interp, "slidefov_s",
        StrPrintf("%.1f,%.1f", double{light->slidehangle}, double{light->slidevangle}));
    SetStringVar(interp, "slidename", light->GetSlideName());
}

int LbDownCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    Model& model = TheModel();
    model.pointer_last[0] = model.pointer_press[0] = LenientInt(argv[2]);
    model.pointer_last[1] = model.pointer_press[1] = LenientInt(argv[3]);
    return TCL_OK;
}

int LbDragCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    Model& model = TheModel();
    const int32_t x = LenientInt(argv[2]), y = LenientInt(argv[3]);
    const int32_t dx = x - model.pointer_last[0], dy = y - model.pointer_last[1];
    model.pointer_last[0] = x;
    model.pointer_last[1] = y;
    if (model.window_width > 0) {
        model.view_turn_y +=
            static_cast<float>(dx) / static_cast<float>(model.window_width);
    }
    if (model.window_height > 0) {
        model.view_turn_x +=
            static_cast<float>(dy) / static_cast<float>(model.window_height);
    }
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

int MbDownCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    Model& model = TheModel();
    const int32_t x = LenientInt(argv[2]), y = LenientInt(argv[3]);
    model.pointer_press[0] = model.pointer_last[0] = x;
    model.pointer_press[1] = model.pointer_last[1] = y;
    model.zoom_axis[0] = static_cast<float>(x - model.window_center[0]);
    model.zoom_axis[1] = static_cast<float>(y - model.window_center[1]);
    if (model.zoom_axis[0] == 0.0f && model.zoom_axis[1] == 0.0f) {
        model.zoom_axis[0] = model.zoom_axis[1] = 1.0f;
    }
    return TCL_OK;
}

int MbDragCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "x y")) return TCL_ERROR;
    Model& model = TheModel();
    const int32_t x = LenientInt(argv[2]), y = LenientInt(argv[3]);
    model.pointer_last[0] = x;
    model.pointer_last[1] = y;
    const float dx = static_cast<float>(x - model.pointer_press[0]);
    const float dy = static_cast<float>(y - model.pointer_press[1]);
    const float sign =
        model.zoom_axis[0] * dx + model.zoom_axis[1] * dy >= 0.0f ? 1.0f : -1.0f;
    const int32_t reach = std::max(model.window_center[0], model.window_center[1]);
    if (reach > 0) {
        model.zoom = model.zoom_start * (1.0f + sign * std::sqrt(dx * dx + dy * dy) /
                                                    static_cast<float>(reach));
    }
    Togl_PostRedisplay(togl);
    return TCL_OK;
}

int MbUpCommand(Togl*, int, const char*[]) {
    Model& model = TheModel();
    model.zoom_start = model.zoom;
    return TCL_OK;
}

int ChangeColorCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 3, "r g b")) return TCL_ERROR;
    Model& model = TheModel();
    for (int i = 0; i < 3; ++i)
        model.pending_color[i] = LenientFloat(argv[2 + i]) * kByteToUnit;
    return TCL_OK;
}

int NotifyLightChangeCommand(Togl* togl, int, const char*[]) {
    Model& model = TheModel();
    Tcl_Interp* interp = Interp(togl);
    const int32_t lights = LightsInUse(model);
    if (lights != model.seen_lightcnt) {
        model.seen_lightcnt = lights;
        model.others_cache_light = -1;
    }
    if (model.currlighttype != model.seen_lighttype) {
        model.seen_lighttype = model.currlighttype;
        model.others_cache_light = -1;
    }
    const int32_t n = LenientInt(LinkedText(model.harcnt_s));
    activeHarmonics =
        static_cast<int16_t>(n < 0 ? 0 : std::min<int32_t>(n, maxHarmonics));

    model.pending_radius = LenientFloat(LinkedText(model.radius_s));
    if (!(model.pending_radius >= 1.0f)) {
        model.pending_radius = 1.0f;
        SetStringVar(interp, "radius_s", StrPrintf("%8.3f", 1.0));
    }
    if (LightSrc* light = CurrentLight(model)) {
        light->SetRadius(model.pending_radius);
        std::copy(model.pending_color, model.pending_color + 3, light->color);
        if (light->kind == SlideProjector) {
            float* p = model.pending_lookat;
            std::sscanf(LinkedText(model.slidelookat_s), "%f,%f,%f", &p[0], &p[1], &p[2]);
            light->SetSlideLookAt(Vec3(p[0], p[1], p[2]));
            float* u = model.pending_up;
            std::sscanf(LinkedText(model.slideup_s), "%f,%f,%f", &u[0], &u[1], &u[2]);
            light->SetSlideUp(Vec3(u[0], u[1], u[2]));
            float* fov = model.pending_fov;
            std::sscanf(LinkedText(model.slidefov_s), "%f,%f", &fov[0], &fov[1]);
            fov[0] = ClampAngle(fov[0]);
            fov[1] = ClampAngle(fov[1]);
            SetStringVar(interp, "slidefov_s",
                         StrPrintf("%.3f,%.3f", double{fov[0]}, double{fov[1]}));
            light->slidehangle = fov[0];
            light->slidevangle = fov[1];
            light->changed = 1;
            ApplySlideName(togl, model, *light);
        }
    }
    model.recon_request = 1;
    return TCL_OK;
}

int ReflectLightInfoCommand(Togl* togl, int, const char*[]) {
    ReflectLightInfo(togl);
    return TCL_OK;
}

int NewLightValueCommand(Togl* togl, int, const char*[]) {
    ResetLightEditVars(togl);
    return TCL_OK;
}

int GetIntensityCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "light channel")) return TCL_ERROR;
    Model& model = TheModel();
    const int32_t light = LenientInt(argv[2]);
    const int32_t channel = LenientInt(argv[3]);
    if (light < 0 || light >= LightsInUse(model)) {
        SetResultInt(togl, -1);
        return TCL_OK;
    }
    SetResultInt(togl, model.lights[static_cast<size_t>(light)].GetColorByte(channel));
    return TCL_OK;
}

int DeleteSourceCommand(Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "index")) return TCL_ERROR;
    Model& model = TheModel();
    const int32_t index = LenientInt(argv[2]);
    const int32_t lights = LightsInUse(model);
    if (lights <= 0) return TCL_OK;
    if (index >= 0) {
        for (int32_t i = index + 1; i < lights; ++i) {
            model.lights[static_cast<size_t>(i - 1)] =
                model.lights[static_cast<size_t>(i)];
        }
        model.lightcnt = lights - 1;
        model.lights[static_cast<size_t>(model.lightcnt)].Init();
        if (model.currlight >= model.lightcnt) model.currlight = model.lightcnt - 1;
    }
    SetResultInt(togl, model.currlight);
    return TCL_OK;
}

int ChangeLightTypeCommand(Togl*, int, const char*[]) {
    Model& model = TheModel();
    LightSrc* light = CurrentLight(model);
    if (light == nullptr) return TCL_OK;
    if (model.currlighttype < Directional || model.currlighttype > SlideProjector) {
        std::fprintf(stderr,
                     "[chgltype]: unknown light type %d, the light is not changed\n",
                     model.currlighttype);
        return TCL_OK;
    }
    light->SetKind(static_cast<LightKind>(model.currlighttype));
    if (model.depth_requested != 0 || model.currlighttype == Directional) return TCL_OK;
    if (LoadModelDepthMaps(model)) model.depth_requested = 1;
    return TCL_OK;
}

}  // namespace lumo
