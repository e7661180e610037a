// The viewer under a seeded storm of hostile commands: it never dies by a
// signal and ends with status 0 on `exit`.
//
// LUMO_STORM_SEED and LUMO_STORM_COUNT choose another storm
// (scripts/command-storm.sh runs long ones).
#include "tests/app/command_storm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/app/viewer_harness.h"

namespace lumo::testing {
namespace {

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST(CommandStormTest, TheSameSeedGivesTheSameScript) {
    EXPECT_EQ(CommandStormScript(7, 300), CommandStormScript(7, 300));
    EXPECT_NE(CommandStormScript(7, 300), CommandStormScript(8, 300));
}

TEST(CommandStormTest, TheViewerSurvivesHostileCommandsAndStillDraws) {
    const uint64_t seed = EnvNumber("LUMO_STORM_SEED", 20261210);
    const int count = static_cast<int>(EnvNumber("LUMO_STORM_COUNT", 2000));
    const int timeout = static_cast<int>(60 + count / 20);
    // Relightable (lights, harmonics, slides) and a QR photograph slab (the
    // multi-light cache), each its own storm.
    for (const bool qr : {false, true}) {
        SCOPED_TRACE(qr ? "QR photograph slab" : "relightable slab");
        TempDir dir;
        SlabFixture slab;
        if (qr) {
            slab.cols = slab.rows = 3;
            WritePhotoSlab(dir, slab, /*qr_grid=*/true);
        } else {
            WriteBrdfSlab(dir, slab);
        }
        const std::string script =
            std::string(kViews) + CommandStormScript(seed + (qr ? 1 : 0), count);
        dir.Write("storm.tcl", script);  // kept for a failing seed
        const ProcessResult r = RunViewer(dir, "scene.lid", script, {}, timeout);
        EXPECT_EQ(0, r.exit_code)
            << "seed " << seed + (qr ? 1 : 0) << ", " << count << " steps\n"
            << r.err.substr(r.err.size() > 4000 ? r.err.size() - 4000 : 0);
        EXPECT_NE(std::string::npos, r.out.find("storm grab: img")) << r.out.size();
    }
}

}  // namespace
}  // namespace lumo::testing
