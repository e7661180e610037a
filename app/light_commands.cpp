#include "app/light_commands.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/tcl_vars.h"
#include "app/viewer.h"
#include "base/fatal.h"
#include "base/lenient_number.h"
#include "base/str_printf.h"
#include "model/light_edit.h"
#include "model/light_list.h"
#include "relight/sh_basis.h"
#include "scene/lid_info.h"

namespace lumo {
namespace {

Tcl_Interp* Interp(Togl* togl) {
    return Togl_Interp(togl);
}

void SetResultInt(Togl* togl, int value) {
    Tcl_SetObjResult(Interp(togl), Tcl_NewIntObj(value));
}

std::string Triple(const float v[3]) {
    return StrPrintf("%.1f,%.1f,%.1f", v[0], v[1], v[2]);
}

// "x,y,z" (or "h,v") read over the values already in `v`: a field the text
// does not give keeps its value.
void ScanFloats(const char* text, float* v, int count) {
    if (count == 3) {
        std::sscanf(text, "%f,%f,%f", &v[0], &v[1], &v[2]);
    } else {
        std::sscanf(text, "%f,%f", &v[0], &v[1]);
    }
}

}  // namespace

bool HaveArgs(Togl* togl, int argc, const char* argv[], int needed, const char* usage) {
    if (argc >= 2 + needed) return true;
    const std::string message = StrPrintf("wrong # args: should be \"%s %s%s%s\"",
                                          argv[0], argv[1], *usage ? " " : "", usage);
    Tcl_SetObjResult(Interp(togl), Tcl_NewStringObj(message.c_str(), -1));
    return false;
}

void ResetLightEditVars(Viewer& viewer, Togl* togl) {
    StagedEdits& staged = viewer.model.staged;
    Tcl_Interp* interp = Interp(togl);
    ResetStagedEdits(staged);
    SetStringVar(interp, "harcnt_s", StrPrintf("%d", viewer.model.relight.terms));
    SetStringVar(interp, "radius_s", StrPrintf("%.3f", 3.0));
    SetStringVar(interp, "slidelookat_s", Triple(staged.lookat));
    SetStringVar(interp, "slideup_s", Triple(staged.up));
    SetStringVar(interp, "slidefov_s", StrPrintf("%.1f,%.1f", 45.0, 45.0));
    SetStringVar(interp, "slidename", "");
}

void LoadLightEditVars(Viewer& viewer, Togl* togl) {
    Model& model = viewer.model;
    const LightSrc* light = CurrentLight(model.lights);
    if (light == nullptr) return;
    StagedEdits& staged = model.staged;
    StageFromLight(staged, *light);
    Tcl_Interp* interp = Interp(togl);
    SetStringVar(interp, "harcnt_s", StrPrintf("%d", model.relight.terms));
    SetStringVar(interp, "radius_s", StrPrintf("%.1f", double{light->radius}));
    SetStringVar(interp, "slidelookat_s", Triple(staged.lookat));
    SetStringVar(interp, "slideup_s", Triple(staged.up));
    SetStringVar(
        interp, "slidefov_s",
        StrPrintf("%.1f,%.1f", double{light->slidehangle}, double{light->slidevangle}));
    SetStringVar(interp, "slidename", light->GetSlideName());
}

int StageColourCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 3, "r g b")) return TCL_ERROR;
    StageColourBytes(viewer.model.staged, LenientFloat(argv[2]), LenientFloat(argv[3]),
                     LenientFloat(argv[4]));
    return TCL_OK;
}

int ApplyLightEditsCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    Model& model = viewer.model;
    const LightEditTexts& texts = viewer.texts;
    Tcl_Interp* interp = Interp(togl);
    LightEditInput input;
    input.harmonics = LenientInt(LinkedText(texts.harcnt_s));
    input.radius = LenientFloat(LinkedText(texts.radius_s));
    std::copy(model.staged.lookat, model.staged.lookat + 3, input.lookat);
    ScanFloats(LinkedText(texts.slidelookat_s), input.lookat, 3);
    std::copy(model.staged.up, model.staged.up + 3, input.up);
    ScanFloats(LinkedText(texts.slideup_s), input.up, 3);
    std::copy(model.staged.fov, model.staged.fov + 2, input.fov);
    ScanFloats(LinkedText(texts.slidefov_s), input.fov, 2);
    // Copied: the linked buffer may be replaced while the slide loads.
    input.slide_name = LinkedText(texts.slidename);

    const LightEditOutcome outcome = ApplyLightEdit(model, input);
    FatalIfError(outcome.failure);
    // The terms applied (the request within what the coefficient files hold)
    // replace the request, so the panel and the status line show them.
    const std::string harmonics = StrPrintf("%d", outcome.harmonics);
    if (harmonics != LinkedText(texts.harcnt_s))
        SetStringVar(interp, "harcnt_s", harmonics);
    if (outcome.radius_clamped) SetStringVar(interp, "radius_s", StrPrintf("%8.3f", 1.0));
    if (outcome.slide_edited) {
        SetStringVar(interp, "slidefov_s",
                     StrPrintf("%.3f,%.3f", double{model.staged.fov[0]},
                               double{model.staged.fov[1]}));
    }
    switch (outcome.slide_name) {
        case SlideNameOutcome::kTooLong:
            std::fprintf(stderr,
                         "[svnotifylightchg]: slide name longer than %zu characters, the "
                         "slide is not changed: %s\n",
                         kMaxSlideName, input.slide_name.c_str());
            break;
        case SlideNameOutcome::kDefaulted:
            SetStringVar(interp, "slidename", kDefaultSlideName);
            break;
        default:
            break;
    }
    return TCL_OK;
}

int LoadLightEditVarsCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    LoadLightEditVars(viewer, togl);
    return TCL_OK;
}

int ResetLightEditVarsCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    ResetLightEditVars(viewer, togl);
    return TCL_OK;
}

int LightColourByteCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 2, "light channel")) return TCL_ERROR;
    LightTable& lights = viewer.model.lights;
    const int32_t light = LenientInt(argv[2]);
    const int32_t channel = LenientInt(argv[3]);
    if (light < 0 || light >= ClampLightCount(lights)) {
        SetResultInt(togl, -1);
        return TCL_OK;
    }
    SetResultInt(togl, lights.table[static_cast<size_t>(light)].GetColorByte(channel));
    return TCL_OK;
}

int DeleteLightCommand(Viewer& viewer, Togl* togl, int argc, const char* argv[]) {
    if (!HaveArgs(togl, argc, argv, 1, "index")) return TCL_ERROR;
    LightTable& lights = viewer.model.lights;
    const int32_t index = LenientInt(argv[2]);
    if (ClampLightCount(lights) <= 0) return TCL_OK;
    SetResultInt(togl, DeleteLight(lights, index));
    return TCL_OK;
}

int ApplyLightKindCommand(Viewer& viewer, Togl*, int, const char*[]) {
    Model& model = viewer.model;
    KindChange change = KindChange::kNoLight;
    FatalIfError(ChangeLightKind(model, change));
    if (change == KindChange::kUnknownKind) {
        std::fprintf(stderr,
                     "[chgltype]: unknown light type %d, the light is not changed\n",
                     model.lights.currlighttype);
    }
    return TCL_OK;
}

int LightInfoCommand(Viewer& viewer, Togl* togl, int, const char*[]) {
    Model& model = viewer.model;
    Tcl_Obj* info = Tcl_NewDictObj();
    auto put = [info](const char* key, Tcl_Obj* value) {
        Tcl_DictObjPut(nullptr, info, Tcl_NewStringObj(key, -1), value);
    };
    auto text = [](const std::string& s) { return Tcl_NewStringObj(s.c_str(), -1); };
    bool relightable = false;
    if (model.scene.info) {
        const LidInfo& scene = *model.scene.info;
        for (int32_t i = 0; i < scene.slab_count && i < MAX_SLABS; ++i)
            relightable =
                relightable || scene.slabs[static_cast<size_t>(i)].format == kFormatBRDF;
    }
    put("relightable", Tcl_NewIntObj(relightable ? 1 : 0));
    put("maxharmonics", Tcl_NewIntObj(viewer.model.relight.max_terms));
    put("harmonics", Tcl_NewIntObj(viewer.model.relight.terms));
    LightTable& lights = model.lights;
    const int32_t count = LightsInUse(lights);
    Tcl_Obj* kinds = Tcl_NewListObj(0, nullptr);
    for (int32_t i = 0; i < count; ++i) {
        Tcl_ListObjAppendElement(
            nullptr, kinds, Tcl_NewIntObj(lights.table[static_cast<size_t>(i)].kind));
    }
    put("kinds", kinds);
    if (const LightSrc* light = CurrentLight(lights); light != nullptr) {
        put("kind", Tcl_NewIntObj(light->kind));
        Tcl_Obj* colour = Tcl_NewListObj(0, nullptr);
        for (int c = 0; c < 3; ++c)
            Tcl_ListObjAppendElement(nullptr, colour,
                                     Tcl_NewIntObj(light->GetColorByte(c)));
        put("colour", colour);
        put("radius", text(StrPrintf("%g", double{light->radius})));
        const Vec4& at = light->slidelookat;
        const Vec4& up = light->slideup;
        put("lookat",
            text(StrPrintf("%g,%g,%g", double{at.x}, double{at.y}, double{at.z})));
        put("up", text(StrPrintf("%g,%g,%g", double{up.x}, double{up.y}, double{up.z})));
        put("fov", text(StrPrintf("%g,%g", double{light->slidehangle},
                                  double{light->slidevangle})));
        put("slide", text(light->GetSlideName()));
        put("envmap", text(light->GetEnvName()));
    }
    Tcl_SetObjResult(Interp(togl), info);
    return TCL_OK;
}

}  // namespace lumo
