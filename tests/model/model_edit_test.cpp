// The model's editing API: the main view's turn and zoom, the current-light
// rule, deleting lights with their controls, staged light edits, the kind
// change and steering a light with its arcball.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>

#include "io/sgi_writer.h"
#include "model/light_edit.h"
#include "model/light_list.h"
#include "model/light_steering.h"
#include "model/model.h"
#include "model/view_navigation.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::TempDir;

// --- The main view -------------------------------------------------------

TEST(ViewNavigationTest, TurnDragsAddTheirMotionOverTheWindowSize) {
    MainView view;
    view.window_width = 300;
    view.window_height = 200;
    TurnPress(view, 10, 10);
    TurnDrag(view, 85, 60);   // a quarter of the width, a quarter of the height
    TurnDrag(view, 160, 10);  // measured from the last position, not the press
    EXPECT_FLOAT_EQ(0.5f, view.view_turn_y);
    EXPECT_FLOAT_EQ(0.0f, view.view_turn_x);
    TurnPress(view, 0, 0);  // a new drag does not reset the turns
    TurnDrag(view, -300, 0);
    EXPECT_FLOAT_EQ(-0.5f, view.view_turn_y);

    MainView empty;
    empty.window_width = empty.window_height = 0;
    TurnPress(empty, 0, 0);
    TurnDrag(empty, 50, 50);
    EXPECT_EQ(0.0f, empty.view_turn_y);
    EXPECT_EQ(0.0f, empty.view_turn_x);

    // Motions across the whole int32_t range are measured without wrapping.
    MainView wide;
    TurnPress(wide, INT32_MIN, INT32_MAX);
    TurnDrag(wide, INT32_MAX, INT32_MIN);
    EXPECT_FLOAT_EQ(4294967295.0f / 300, wide.view_turn_y);
    EXPECT_FLOAT_EQ(-4294967295.0f / 300, wide.view_turn_x);
}

TEST(ViewNavigationTest, ZoomDragsScaleByTheDistanceSignedAgainstTheCentre) {
    struct Case {
        const char* what;
        int32_t press[2];
        int32_t drag[2];
        float zoom;
    } const cases[] = {
        {"outwards from the centre grows", {200, 150}, {260, 150}, 1.4f},
        {"towards the centre shrinks", {200, 150}, {140, 150}, 0.6f},
        {"press at the centre: down-right grows",
         {150, 150},
         {180, 190},
         1.0f + 50.0f / 150},
        {"press at the centre: up-left shrinks",
         {150, 150},
         {120, 110},
         1.0f - 50.0f / 150},
        {"across the axis counts its projection's sign",
         {150, 100},
         {150 + 30, 140},
         1.0f - 50.0f / 150},
        // Differences of coordinates near the ends of int32_t do not wrap:
        // 2^32 - 1 pixels back across the centre shrink.
        {"from the most negative to the most positive coordinate",
         {INT32_MIN, 150},
         {INT32_MAX, 150},
         1.0f - 4294967295.0f / 150},
        {"from the most positive to the most negative coordinate",
         {INT32_MAX, 150},
         {INT32_MIN, 150},
         1.0f - 4294967295.0f / 150},
    };
    for (const Case& c : cases) {
        MainView view;  // 300 x 300, centre (150, 150)
        ZoomPress(view, c.press[0], c.press[1]);
        ZoomDrag(view, c.drag[0], c.drag[1]);
        EXPECT_FLOAT_EQ(c.zoom, view.zoom) << c.what;
    }
}

TEST(ViewNavigationTest, TheNextZoomDragStartsFromTheZoomReached) {
    MainView view;
    ZoomPress(view, 200, 150);
    ZoomDrag(view, 260, 150);
    ZoomDrag(view, 350, 150);  // from the press, not the last position: 1 + 150/150
    EXPECT_FLOAT_EQ(2.0f, view.zoom);
    ZoomRelease(view);
    ZoomPress(view, 200, 150);
    ZoomDrag(view, 275, 150);
    EXPECT_FLOAT_EQ(3.0f, view.zoom);
}

// --- The current light -----------------------------------------------------

TEST(LightTableTest, LightsInUseAndTheCurrentLightFollowOneRule) {
    struct Case {
        int32_t lightcnt, currlight;
        int32_t in_use, current, slot;
    } const cases[] = {
        {1, 0, 1, 0, 0},    {3, 2, 3, 2, 2},      {-4, 0, 0, -1, 0},
        {0, 5, 0, -1, 5},   {99, 29, 30, 29, 29}, {2, 30, 2, -1, -1},
        {2, -1, 2, -1, -1}, {2, 5, 2, 5, 5},  // a slot past the lights in use is still
                                              // current
    };
    for (const Case& c : cases) {
        auto lights = std::make_unique<LightTable>();
        lights->lightcnt = c.lightcnt;
        lights->currlight = c.currlight;
        EXPECT_EQ(c.in_use, LightsInUse(*lights)) << c.lightcnt;
        EXPECT_EQ(c.lightcnt, lights->lightcnt) << "LightsInUse leaves lightcnt";
        EXPECT_EQ(c.current, CurrentLightIndex(*lights))
            << c.lightcnt << " " << c.currlight;
        EXPECT_EQ(c.slot, CurrentSlot(*lights));
        LightControl* control = CurrentControl(*lights);
        // Controls are steered only while a light is in use.
        EXPECT_EQ(
            c.current < 0 ? nullptr : &lights->controls[static_cast<size_t>(c.current)],
            control);
        LightSrc* light = CurrentLight(*lights);
        EXPECT_EQ(c.in_use, lights->lightcnt) << "CurrentLight clamps lightcnt";
        EXPECT_EQ(
            c.current < 0 ? nullptr : &lights->table[static_cast<size_t>(c.current)],
            light);
    }
}

// --- Adding, deleting and selecting ---------------------------------------

// Four lights told apart by radius and arcball radius; light 3 current.
std::unique_ptr<LightTable> FourLights() {
    auto lights = std::make_unique<LightTable>();
    lights->lightcnt = 4;
    lights->currlight = 3;
    for (size_t i = 0; i < 4; ++i) {
        lights->table[i].SetRadius(10.0f + static_cast<float>(i));
        lights->controls[i].arcball.radius = 100.0 + static_cast<double>(i);
        lights->controls[i].placement[12] = static_cast<float>(i);
    }
    return lights;
}

TEST(LightListTest, DeletingMovesTheLaterLightsWithTheirControls) {
    struct Case {
        int32_t index;
        int32_t currlight_before;
        float radii[3];   // the three lights left
        int32_t current;  // the current light afterwards
    } const cases[] = {
        {1, 3, {10, 12, 13}, 2},  // the current light was past the end: the new last one
        {0, 1, {11, 12, 13}, 1},  // an earlier current light keeps its index
        {3, 0, {10, 11, 12}, 0},
        {7, 2, {10, 11, 12}, 2},          // an index past the lights drops the last one
        {INT32_MAX, 3, {10, 11, 12}, 2},  // for every index, the largest too
    };
    for (const Case& c : cases) {
        auto lights = FourLights();
        lights->currlight = c.currlight_before;
        EXPECT_EQ(c.current, DeleteLight(*lights, c.index)) << c.index;
        EXPECT_EQ(3, lights->lightcnt);
        EXPECT_EQ(c.current, lights->currlight);
        for (size_t i = 0; i < 3; ++i) {
            const float r = c.radii[i];
            EXPECT_EQ(r, lights->table[i].radius) << c.index << " light " << i;
            // The controls travelled with their light.
            EXPECT_EQ(90.0 + r, lights->controls[i].arcball.radius) << c.index;
            EXPECT_EQ(r - 10.0f, lights->controls[i].placement[12]) << c.index;
        }
        // The freed slot: a default light, an identity placement, its arcball kept.
        EXPECT_EQ(3.0f, lights->table[3].radius);
        EXPECT_EQ(0.0f, lights->controls[3].placement[12]);
        EXPECT_EQ(1.0f, lights->controls[3].placement[0]);
        EXPECT_EQ(103.0, lights->controls[3].arcball.radius);
    }
}

TEST(LightListTest, NothingIsDeletedWithoutALightOrWithANegativeIndex) {
    auto lights = FourLights();
    EXPECT_EQ(3, DeleteLight(*lights, -1));
    EXPECT_EQ(4, lights->lightcnt);
    EXPECT_EQ(13.0f, lights->table[3].radius);

    lights->lightcnt = 1;
    lights->currlight = 0;
    EXPECT_EQ(-1, DeleteLight(*lights, 0));  // the last light goes: none is current
    EXPECT_EQ(0, lights->lightcnt);
    EXPECT_EQ(-1, DeleteLight(*lights, 0));
    EXPECT_EQ(0, lights->lightcnt);
}

TEST(LightListTest, AddingAndSelectingStayWithinTheTable) {
    auto lights = std::make_unique<LightTable>();
    lights->currlighttype = Point;
    EXPECT_TRUE(AddLight(*lights));
    EXPECT_EQ(2, lights->lightcnt);
    EXPECT_EQ(1, lights->currlight);
    EXPECT_EQ(Directional, lights->currlighttype);
    EXPECT_TRUE(SelectLight(*lights, 0));
    EXPECT_EQ(0, lights->currlight);
    EXPECT_FALSE(SelectLight(*lights, 2));
    EXPECT_FALSE(SelectLight(*lights, -1));
    EXPECT_EQ(0, lights->currlight);
    lights->lightcnt = MAX_LIGHTS;
    EXPECT_FALSE(AddLight(*lights));
    EXPECT_EQ(MAX_LIGHTS, lights->lightcnt);
}

// --- Relight settings -------------------------------------------------------

TEST(RelightSettingsTest, TheFirstCoefficientSetGivesTheCountsAndSetTermsClamps) {
    RelightSettings settings;
    EXPECT_FALSE(settings.counts_set);
    SetAvailableTerms(settings, 4);
    EXPECT_EQ(16, settings.max_terms);
    EXPECT_EQ(16, settings.terms);
    EXPECT_EQ(3, SetTerms(settings, 3));
    SetAvailableTerms(settings, 5);  // later sets change nothing
    EXPECT_EQ(16, settings.max_terms);
    EXPECT_EQ(3, settings.terms);
    const struct {
        int32_t asked, applied;
    } cases[] = {{0, 0}, {-7, 0}, {9, 9}, {16, 16}, {17, 16}, {1 << 20, 16}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.applied, SetTerms(settings, c.asked)) << c.asked;
        EXPECT_EQ(c.applied, settings.terms) << c.asked;
    }
}

// --- Staged edits ----------------------------------------------------------

class LightEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        here_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        model_ = std::make_unique<Model>();
        // As if a three-band coefficient set were loaded.
        SetAvailableTerms(model_->relight, 3);
    }
    void TearDown() override { std::filesystem::current_path(here_); }

    // A 2 x 1 slide named `name` in the test directory.
    void WriteSlide(const char* name) {
        Photo p;
        ASSERT_TRUE(p.Alloc(2, 1).ok());
        ASSERT_TRUE(WriteSGIRGB(name, p).ok());
    }

    // The input as the texts left untouched would give it.
    LightEditInput Unchanged() const {
        LightEditInput in;
        in.harmonics = model_->relight.max_terms;
        in.radius = model_->staged.radius;
        std::memcpy(in.lookat, model_->staged.lookat, sizeof in.lookat);
        std::memcpy(in.up, model_->staged.up, sizeof in.up);
        std::memcpy(in.fov, model_->staged.fov, sizeof in.fov);
        return in;
    }

    TempDir dir_;
    std::filesystem::path here_;
    std::unique_ptr<Model> model_;
};

TEST_F(LightEditTest, RadiusColourAndHarmonicsReachTheCurrentLight) {
    struct Case {
        float radius;
        int32_t harmonics;
        float applied_radius;
        bool clamped;
        int32_t active;
    } const cases[] = {
        {2.5f, 4, 2.5f, false, 4},
        {1.0f, -3, 1.0f, false, 0},
        {0.5f, 100000, 1.0f, true, 9},
        {std::numeric_limits<float>::quiet_NaN(), 1, 1.0f, true, 1},
    };
    for (const Case& c : cases) {
        StageColourBytes(model_->staged, 255.0f, 0.0f, 51.0f);
        LightEditInput in = Unchanged();
        in.radius = c.radius;
        in.harmonics = c.harmonics;
        const LightEditOutcome out = ApplyLightEdit(*model_, in);
        const LightSrc& light = model_->lights.table[0];
        EXPECT_EQ(c.applied_radius, light.radius) << c.radius;
        EXPECT_EQ(c.applied_radius, model_->staged.radius);
        EXPECT_EQ(c.clamped, out.radius_clamped) << c.radius;
        EXPECT_EQ(c.active, model_->relight.terms);
        EXPECT_EQ(c.active, out.harmonics) << "the outcome names the terms applied";
        EXPECT_FLOAT_EQ(1.0f, light.color[0]);
        EXPECT_EQ(0.0f, light.color[1]);
        EXPECT_FLOAT_EQ(0.2f, light.color[2]);
        EXPECT_EQ(c.applied_radius, light.position.z);  // the light travels along -z
        EXPECT_FALSE(out.slide_edited);  // a directional light has no slide
        EXPECT_EQ(1, model_->view.recon_request);
    }
}

TEST_F(LightEditTest, SlideFieldsApplyOnlyToASlideProjector) {
    LightEditInput in = Unchanged();
    in.lookat[0] = 5.0f;
    in.fov[0] = 200.0f;
    in.fov[1] = -3.0f;
    ApplyLightEdit(*model_, in);
    EXPECT_EQ(0.0f, model_->staged.lookat[0]) << "a directional light stages no slide";
    EXPECT_EQ(45.0f, model_->staged.fov[0]);

    WriteSlide("a.rgb");
    model_->lights.table[0].SetKind(SlideProjector);
    in.slide_name = "a.rgb";
    const LightEditOutcome out = ApplyLightEdit(*model_, in);
    const LightSrc& light = model_->lights.table[0];
    EXPECT_TRUE(out.slide_edited);
    EXPECT_EQ(5.0f, light.slidelookat.x);
    EXPECT_EQ(180.0f, light.slidehangle);  // angles clamped to 0..180
    EXPECT_EQ(0.0f, light.slidevangle);
    EXPECT_EQ(180.0f, model_->staged.fov[0]);
    EXPECT_EQ(0.0f, model_->staged.fov[1]);
    EXPECT_EQ(1, light.changed);
    EXPECT_EQ(SlideNameOutcome::kLoaded, out.slide_name);
    EXPECT_EQ(2, light.slide.width);
}

TEST_F(LightEditTest, SlideNamesLoadOnceDefaultWhenEmptyAndRefuseLongOnes) {
    WriteSlide("a.rgb");
    WriteSlide(kDefaultSlideName);
    model_->lights.table[0].SetKind(SlideProjector);
    struct Step {
        std::string name;
        SlideNameOutcome outcome;
        const char* light_slide;  // the light's slide name afterwards
    } const steps[] = {
        {"a.rgb", SlideNameOutcome::kLoaded, "a.rgb"},
        {"a.rgb", SlideNameOutcome::kKept, "a.rgb"},
        {std::string(kMaxSlideName + 1, 'x'), SlideNameOutcome::kTooLong, "a.rgb"},
        {"", SlideNameOutcome::kDefaulted, kDefaultSlideName},
        {"a.rgb", SlideNameOutcome::kLoaded, "a.rgb"},
    };
    for (const Step& s : steps) {
        LightEditInput in = Unchanged();
        in.slide_name = s.name;
        EXPECT_EQ(s.outcome, ApplyLightEdit(*model_, in).slide_name) << s.name;
        EXPECT_STREQ(s.light_slide, model_->lights.table[0].GetSlideName()) << s.name;
    }
}

TEST_F(LightEditTest, TheMultiLightCacheIsDroppedWhenTheCountOrKindChanged) {
    model_->view.seen_lightcnt = 1;
    model_->view.others_cache_light = 0;
    ApplyLightEdit(*model_, Unchanged());
    EXPECT_EQ(0, model_->view.others_cache_light) << "nothing changed: the cache stays";
    model_->lights.lightcnt = 2;
    ApplyLightEdit(*model_, Unchanged());
    EXPECT_EQ(-1, model_->view.others_cache_light);
    model_->view.others_cache_light = 0;
    model_->lights.currlighttype = Point;
    ApplyLightEdit(*model_, Unchanged());
    EXPECT_EQ(-1, model_->view.others_cache_light);
    EXPECT_EQ(2, model_->view.seen_lightcnt);
    EXPECT_EQ(Point, model_->view.seen_lighttype);
}

TEST_F(LightEditTest, StagedValuesResetAndFollowTheLight) {
    LightSrc light;
    light.SetRadius(7.0f);
    light.SetSlideLookAt(Vec3(1, 2, 3));
    light.slidehangle = 10.0f;
    StageFromLight(model_->staged, light);
    EXPECT_EQ(7.0f, model_->staged.radius);
    EXPECT_EQ(3.0f, model_->staged.lookat[2]);
    EXPECT_EQ(10.0f, model_->staged.fov[0]);
    EXPECT_EQ(30.0f, model_->staged.fov[1]);
    ResetStagedEdits(model_->staged);
    EXPECT_EQ(3.0f, model_->staged.radius);
    EXPECT_EQ(0.0f, model_->staged.lookat[2]);
    EXPECT_EQ(1.0f, model_->staged.up[1]);
    EXPECT_EQ(45.0f, model_->staged.fov[0]);
}

TEST_F(LightEditTest, TheKindChangeNeedsALightAndAKnownKind) {
    struct Case {
        int32_t lightcnt, kind;
        KindChange result;
        LightKind after;
    } const cases[] = {
        {1, Point, KindChange::kChanged, Point},
        {1, SlideProjector, KindChange::kChanged, SlideProjector},
        {1, 4, KindChange::kUnknownKind, Directional},
        {1, -1, KindChange::kUnknownKind, Directional},
        {0, Point, KindChange::kNoLight, Directional},
    };
    for (const Case& c : cases) {
        auto model = std::make_unique<Model>();
        model->lights.lightcnt = c.lightcnt;
        model->lights.currlighttype = c.kind;
        KindChange change = KindChange::kChanged;
        EXPECT_TRUE(ChangeLightKind(*model, change).ok()) << c.kind;
        EXPECT_EQ(c.result, change) << c.kind;
        EXPECT_EQ(c.after, model->lights.table[0].kind) << c.kind;
        EXPECT_EQ(0, model->scene.depth_requested) << "no scene: no depth maps loaded";
    }
}

// --- Steering with the arcball ----------------------------------------------

// A model whose light-editing view exists: 300 x 300, three units back,
// every arcball prepared as the view prepares it.
std::unique_ptr<Model> WithLightView() {
    auto model = std::make_unique<Model>();
    MatIdentity(model->lightview.modelview);
    model->lightview.modelview[14] = -3.0f;
    for (LightControl& control : model->lights.controls) {
        control.arcball.Reset();
        control.arcball.SetSphere(Vec4(0, 0, 0, 1), 0.75);
        control.placement = model->lightview.modelview;
    }
    model->lightview.created = 1;
    return model;
}

void ExpectDirection(const LightSrc& light, float x, float y, float z) {
    EXPECT_NEAR(x, light.direction.x, 1e-5f);
    EXPECT_NEAR(y, light.direction.y, 1e-5f);
    EXPECT_NEAR(z, light.direction.z, 1e-5f);
}

TEST(LightSteeringTest, ADragFromTheCentreToTheRimTurnsTheLightHalfWayRound) {
    auto model = WithLightView();
    SteerCurrentLight(*model);
    ExpectDirection(model->lights.table[0], 0, 0, -1);
    // Pixel (150, 149) is the centre; 112.5 pixels is the disc's radius.
    ArcBallPress(*model, 150, 149);
    ArcBallMove(*model, 263, 149, FreeRotation);
    SteerCurrentLight(*model);
    ExpectDirection(model->lights.table[0], 0, 0, 1);
    // The light follows its arcball's frame, glyph placement included.
    const Mat4 frame =
        LightFrame(model->lightview.modelview, model->lights.controls[0].arcball);
    EXPECT_EQ(0, std::memcmp(frame.data(), model->lights.controls[0].placement.data(),
                             sizeof frame.m));
    EXPECT_NEAR(2.0f * 263 / 300 - 1, model->lightview.pointer[0],
                1e-6f);  // just past the rim
    EXPECT_NEAR(0.0f, model->lightview.pointer[1], 1e-6f);
}

TEST(LightSteeringTest, ADragEndedBeforeAnyUpdateIsKept) {
    auto model = WithLightView();
    ArcBallPress(*model, 150, 149);
    ArcBallMove(*model, 263, 149, FreeRotation);
    ArcBallRelease(*model);  // no redraw or reconstruction came in between
    ExpectDirection(model->lights.table[0], 0, 0, 1);
    SteerCurrentLight(*model);
    ExpectDirection(model->lights.table[0], 0, 0, 1);

    // The next drag starts from the half turn; a second half turn brings the
    // light back, again without an update before the release.
    ArcBallPress(*model, 150, 149);
    ArcBallMove(*model, 263, 149, FreeRotation);
    ArcBallRelease(*model);
    ExpectDirection(model->lights.table[0], 0, 0, -1);
    ArcBallPress(*model, 150, 149);
    ArcBallMove(*model, 150, 149, FreeRotation);
    SteerCurrentLight(*model);
    ExpectDirection(model->lights.table[0], 0, 0, -1);
}

TEST(LightSteeringTest, OnlyTheCurrentLightMovesAndOnlyOnceTheViewExists) {
    auto model = std::make_unique<Model>();
    model->lights.lightcnt = 2;
    model->lights.currlight = 1;
    SteerCurrentLight(
        *model);  // no light-editing view yet: zeroed arcballs steer nothing
    ExpectDirection(model->lights.table[1], 0, 0, -1);

    model = WithLightView();
    model->lights.lightcnt = 2;
    model->lights.currlight = 1;
    ArcBallPress(*model, 150, 149);
    ArcBallMove(*model, 263, 149, FreeRotation);
    SteerCurrentLight(*model);
    ExpectDirection(model->lights.table[1], 0, 0, 1);
    ExpectDirection(model->lights.table[0], 0, 0, -1);
    EXPECT_EQ(-3.0f, model->lights.controls[0].placement[14]);

    ArcBallRelease(*model);
    // No light in use: the pointer commands and the updates turn nothing, so
    // the light is where it was when lights are in use again.
    model->lights.lightcnt = 0;
    const ArcBall before = model->lights.controls[1].arcball;
    ArcBallPress(*model, 150, 149);
    ArcBallMove(*model, 150, 37, FreeRotation);
    SteerCurrentLight(*model);
    ArcBallRelease(*model);
    EXPECT_EQ(0, std::memcmp(&before, &model->lights.controls[1].arcball, sizeof before));
    model->lights.lightcnt = 2;
    SteerCurrentLight(*model);
    ExpectDirection(model->lights.table[1], 0, 0, 1);
}

}  // namespace
}  // namespace lumo
