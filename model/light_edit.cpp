#include "model/light_edit.h"

#include <algorithm>
#include <cstring>

#include "base/bounded_copy.h"
#include "model/model_setup.h"

namespace lumo {
namespace {

// 1/255 as the single-precision constant the colour edits use.
constexpr float kByteToUnit = 0.003921569f;

// Degrees within 0..180; below 0 or not a number gives 0.
float ClampAngle(float degrees) {
    if (!(degrees >= 0.0f)) return 0.0f;
    return std::min(degrees, 180.0f);
}

// The slide's name applied; a slide the reader fails on sets `failure`.
SlideNameOutcome ApplySlideName(StagedEdits& staged, LightSrc& light,
                                const std::string& name, Status& failure) {
    if (name.empty()) {
        CopyBounded(staged.last_slide_name, kDefaultSlideName);
        failure = light.SetSlideName(kDefaultSlideName);
        return SlideNameOutcome::kDefaulted;
    }
    if (name.size() > kMaxSlideName) return SlideNameOutcome::kTooLong;
    if (std::strncmp(name.c_str(), staged.last_slide_name,
                     sizeof staged.last_slide_name) == 0) {
        return SlideNameOutcome::kKept;
    }
    CopyBounded(staged.last_slide_name, name);
    failure = light.SetSlideName(name);
    return SlideNameOutcome::kLoaded;
}

}  // namespace

void ResetStagedEdits(StagedEdits& staged) {
    staged.radius = 3.0f;
    const float lookat[3] = {0.0f, 0.0f, 0.0f};
    const float up[3] = {0.0f, 1.0f, 0.0f};
    std::copy(lookat, lookat + 3, staged.lookat);
    std::copy(up, up + 3, staged.up);
    staged.fov[0] = staged.fov[1] = 45.0f;
}

void StageFromLight(StagedEdits& staged, const LightSrc& light) {
    staged.radius = light.radius;
    const float lookat[3] = {light.slidelookat.x, light.slidelookat.y,
                             light.slidelookat.z};
    const float up[3] = {light.slideup.x, light.slideup.y, light.slideup.z};
    std::copy(lookat, lookat + 3, staged.lookat);
    std::copy(up, up + 3, staged.up);
    staged.fov[0] = light.slidehangle;
    staged.fov[1] = light.slidevangle;
}

void StageColourBytes(StagedEdits& staged, float r, float g, float b) {
    staged.color[0] = r * kByteToUnit;
    staged.color[1] = g * kByteToUnit;
    staged.color[2] = b * kByteToUnit;
}

LightEditOutcome ApplyLightEdit(Model& model, const LightEditInput& input) {
    LightEditOutcome outcome;
    MainView& view = model.view;
    StagedEdits& staged = model.staged;
    const int32_t lights = ClampLightCount(model.lights);
    if (lights != view.seen_lightcnt) {
        view.seen_lightcnt = lights;
        view.others_cache_light = -1;
    }
    if (model.lights.currlighttype != view.seen_lighttype) {
        view.seen_lighttype = model.lights.currlighttype;
        view.others_cache_light = -1;
    }
    // Mixed lights change every light's contribution.
    if (model.lights.mixed != view.seen_mixed) {
        view.seen_mixed = model.lights.mixed;
        view.others_cache_light = -1;
    }
    outcome.harmonics = SetTerms(model.relight, input.harmonics);

    staged.radius = input.radius;
    if (!(staged.radius >= 1.0f)) {
        staged.radius = 1.0f;
        outcome.radius_clamped = true;
    }
    if (LightSrc* light = CurrentLight(model.lights)) {
        light->SetRadius(staged.radius);
        std::copy(staged.color, staged.color + 3, light->color);
        if (light->kind == SlideProjector) {
            std::copy(input.lookat, input.lookat + 3, staged.lookat);
            light->SetSlideLookAt(
                Vec3(staged.lookat[0], staged.lookat[1], staged.lookat[2]));
            std::copy(input.up, input.up + 3, staged.up);
            light->SetSlideUp(Vec3(staged.up[0], staged.up[1], staged.up[2]));
            staged.fov[0] = ClampAngle(input.fov[0]);
            staged.fov[1] = ClampAngle(input.fov[1]);
            light->slidehangle = staged.fov[0];
            light->slidevangle = staged.fov[1];
            light->changed = 1;
            outcome.slide_edited = true;
            outcome.slide_name =
                ApplySlideName(staged, *light, input.slide_name, outcome.failure);
            if (!outcome.failure.ok()) return outcome;
        }
    }
    view.recon_request = 1;
    return outcome;
}

Status SetCurrentEnvMap(Model& model, const std::string& path) {
    LightSrc* light = CurrentLight(model.lights);
    if (light == nullptr || light->kind != Environment)
        return Status::Error("no environment light is selected\n");
    if (Status s = light->SetEnvMap(path); !s.ok()) return s;
    model.view.recon_request = 1;
    return Status::Ok();
}

Status ChangeLightKind(Model& model, KindChange& change) {
    change = KindChange::kNoLight;
    LightSrc* light = CurrentLight(model.lights);
    if (light == nullptr) return Status::Ok();
    change = KindChange::kUnknownKind;
    const int32_t kind = model.lights.currlighttype;
    if (kind < Directional || kind > SlideProjector) return Status::Ok();
    light->SetKind(static_cast<LightKind>(kind));
    change = KindChange::kChanged;
    if (model.scene.depth_requested != 0 || kind == Directional) return Status::Ok();
    return LoadModelDepthMaps(model);
}

}  // namespace lumo
