#include "fit/fit_capture.h"

#include <unistd.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <vector>

#include "bake/baked_slab.h"
#include "base/atomic_file.h"
#include "base/file_ptr.h"
#include "base/psnr.h"
#include "base/str_printf.h"
#include "fit/band_choice.h"
#include "fit/holdout.h"
#include "fit/light_positions.h"
#include "fit/photo_rows.h"
#include "fit/strip_fit.h"
#include "io/image_file.h"
#include "relight/brdf_stream_writer.h"
#include "relight/slab_frame.h"
#include "scene/lid_writer.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

std::string Join(const std::string& dir, const std::string& name) {
    return (fs::path(dir) / name).string();
}

Status WriteTextFile(const std::string& path, const std::string& text) {
    if (!WriteFileAtomically(path, text).ok())
        return Status::Error(StrPrintf("[FitCapture]: cannot write %s\n", path.c_str()));
    return Status::Ok();
}

struct ErrorSum {
    double squared = 0.0;
    double samples = 0.0;
    double Rms() const { return samples > 0 ? std::sqrt(squared / samples) : 0.0; }
    double Psnr() const { return samples > 0 ? PsnrFromMse(squared / samples) : 0.0; }
    nlohmann::json Json() const {
        return {{"rms", Rms()},
                {"psnr", Psnr()},
                {"squared_error", squared},
                {"samples", samples}};
    }
};

struct CameraWork {
    std::vector<LightPhoto> photos;
    std::vector<uint8_t> held;  // per photograph: left out of the fit
};

// Whether every photograph is lit from the first one's direction (to a
// millionth of a radian): more than the constant term cannot be fitted from
// them, and the errors would be measured at that one light only.
bool OneDirection(const std::vector<LightPhoto>& photos) {
    for (const LightPhoto& p : photos) {
        const double* a = photos.front().direction;
        const double* b = p.direction;
        const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
        if (dx * dx + dy * dy + dz * dz > 1e-12) return false;
    }
    return true;
}

// Creates the staging folder of this run in `outdir`, a hidden name no
// reader looks at and no other run uses: ".NAME.fit-HOST-PID-K.part" (shards
// on several machines may share one folder), K the first free number.
Status MakeStagingFolder(const std::string& outdir, const std::string& name,
                         std::string& staging) {
    char host[256] = {};
    if (gethostname(host, sizeof(host) - 1) != 0) host[0] = '\0';
    for (int k = 0; k < 1000; ++k) {
        staging = Join(outdir, StrPrintf(".%s.fit-%s-%ld-%d.part", name.c_str(), host,
                                         static_cast<long>(getpid()), k));
        std::error_code ec;
        if (fs::create_directory(staging, ec)) return Status::Ok();
        if (ec) break;
    }
    return Status::Error(
        StrPrintf("[FitCapture]: cannot write into %s\n", outdir.c_str()));
}

// Moves the staged files (`names`, the scene description last) into
// `outdir`. The old scene description is removed first, so that between the
// first move and the last no scene names a mixture of old and new files: a
// run killed in that moment leaves a folder without NAME.lid, which relight
// refuses, never one it reads without a word.
Status CommitStaged(const std::string& staging, const std::string& outdir,
                    const std::vector<std::string>& names) {
    std::error_code ec;
    fs::remove(Join(outdir, names.back()), ec);
    for (const std::string& name : names) {
        fs::rename(Join(staging, name), Join(outdir, name), ec);
        if (ec)
            return Status::Error(StrPrintf("[FitCapture]: cannot write %s: %s\n",
                                           Join(outdir, name).c_str(),
                                           ec.message().c_str()));
    }
    return Status::Ok();
}

// One camera: decode, fit, write the coefficient file, measure the errors.
Status FitCamera(const Capture& capture, const FitOptions& o, const SlabRecord& record,
                 size_t index, const CameraWork& work, const std::string& outdir,
                 const MessageSink& progress, ErrorSum& fit_error, ErrorSum& hold_error,
                 nlohmann::json& entry) {
    const CaptureCamera& camera = capture.cameras[index];
    const int W = capture.slab.width;
    const int H = capture.slab.height;
    const int T = o.bands * o.bands;
    const size_t cols = static_cast<size_t>(W) * static_cast<size_t>(H) * 3;
    // Fitted photographs first, then the held-out ones, each in file order.
    std::vector<size_t> order;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t k = 0; k < work.photos.size(); ++k) {
            if (work.held[k] == pass) order.push_back(k);
        }
    }
    const int N = static_cast<int>(order.size());
    int fitted = 0;
    for (size_t k : order)
        fitted += work.held[k] ? 0 : 1;

    std::vector<const double*> dirs;
    for (size_t k : order)
        dirs.push_back(work.photos[k].direction);
    const std::vector<float> basis = BasisRows(record, dirs, o.bands);
    std::vector<float> fit_matrix;
    std::vector<float> fit_rows(basis.begin(),
                                basis.begin() + static_cast<std::ptrdiff_t>(fitted) * T);
    Status s = SolveFit(fit_rows, fitted, o.bands, o.lambda, fit_matrix);
    if (!s.ok()) {
        return Status::Error(s.message().substr(0, s.message().size() - 1) + " (" +
                             camera.lp + ")\n");
    }

    // The photographs, fitted ones first, read in strips; the coefficients go
    // to the file as each strip is done.
    std::vector<std::string> paths;
    for (size_t k : order)
        paths.push_back(work.photos[k].path);
    // Progress in tenths of the picture.
    int reported = 0;
    const StripProgress strip_progress = [&](int32_t done) {
        const int tenth = static_cast<int>(static_cast<int64_t>(done) * 10 / H);
        if (tenth <= reported || done == H) return;
        reported = tenth;
        Emit(progress, StrPrintf("fit: camera %zu (%d, %d): %d of %d rows\n", index,
                                 camera.column, camera.row, done, H));
    };
    std::unique_ptr<PhotoRows> rows;
    s = OpenPhotoRows(paths, W, H, rows);
    if (!s.ok()) return s;
    const std::string path = Join(
        outdir, StrPrintf("%s.%d.%d.urdf.sh", o.name.c_str(), camera.column, camera.row));
    BrdfStreamWriter writer;
    StripFitSetup setup;
    setup.bands = o.bands;
    setup.fitted = fitted;
    setup.basis = &basis;
    setup.fit_matrix = &fit_matrix;
    setup.mask_below = o.mask_below;
    setup.threads = o.threads;
    setup.strip_rows = o.strip_rows;
    StripFitResult fitted_sums;
    AtomicWriteFailure failure;
    s = WriteFileAtomicallyByName(
        path,
        [&](const std::string& temp) {
            Status w = writer.Open(temp, W, H, o.bands);
            if (w.ok()) w = FitStrips(setup, *rows, writer, strip_progress, fitted_sums);
            if (w.ok()) w = writer.Finish();
            return w;
        },
        &failure);
    if (failure.step == AtomicWriteFailure::Step::kRename)
        return Status::Error(StrPrintf("[FitCapture]: cannot write %s\n", path.c_str()));
    if (!s.ok()) return s;
    ErrorSum cam_fit, cam_hold;
    cam_fit.squared = fitted_sums.fit_squared;
    cam_hold.squared = fitted_sums.hold_squared;
    cam_fit.samples = static_cast<double>(fitted) * static_cast<double>(cols);
    cam_hold.samples = static_cast<double>(N - fitted) * static_cast<double>(cols);
    fit_error.squared += cam_fit.squared;
    fit_error.samples += cam_fit.samples;
    hold_error.squared += cam_hold.squared;
    hold_error.samples += cam_hold.samples;
    const size_t present_count = fitted_sums.present;

    nlohmann::json held = nlohmann::json::array();
    for (size_t k = 0; k < work.photos.size(); ++k) {
        if (work.held[k]) held.push_back(work.photos[k].line);
    }
    entry = {{"index", index},
             {"column", camera.column},
             {"row", camera.row},
             {"lp", camera.lp},
             {"photographs", N},
             {"held_out_lines", held},
             {"pixels_with_coefficients", present_count},
             {"fit", cam_fit.Json()}};
    if (N > fitted) entry["holdout"] = cam_hold.Json();
    return Status::Ok();
}

// The bands and lambda from the capture's sample cameras (fit/band_choice.h),
// the same whichever cameras this run fits.
Status ChooseCaptureBands(const Capture& capture, const FitOptions& o,
                          const SlabRecord& record, const MessageSink& progress,
                          BandChoice& choice) {
    BandChoiceInput in;
    in.record = &record;
    in.width = capture.slab.width;
    in.height = capture.slab.height;
    in.lambda = o.lambda;
    in.threads = o.threads;
    std::vector<std::string> lps;
    for (int index : ChoiceSampleCameras(capture.slab.columns, capture.slab.rows)) {
        const CaptureCamera& camera = capture.cameras[static_cast<size_t>(index)];
        std::vector<LightPhoto> photos;
        Status s = ReadLightPositions(camera.lp, photos);
        if (!s.ok()) return s;
        const int n = static_cast<int>(photos.size());
        const std::vector<uint8_t> held =
            HoldOut(photos, o.holdout < 0 ? DefaultHoldout(n) : std::min(o.holdout, n));
        std::vector<LightPhoto> used;
        for (size_t k = 0; k < photos.size(); ++k) {
            if (!held[k]) used.push_back(photos[k]);
        }
        in.cameras.push_back(used);
        lps.push_back(camera.lp);
    }
    Emit(progress, StrPrintf("fit: choosing the bands on %zu sample camera%s\n",
                             lps.size(), lps.size() == 1 ? "" : "s"));
    return ChooseBands(in, lps, choice);
}

nlohmann::json ChoiceJson(const Capture& capture, const BandChoice& choice) {
    nlohmann::json candidates = nlohmann::json::array();
    for (const BandCandidate& c : choice.candidates)
        candidates.push_back(
            {{"bands", c.bands}, {"lambda", c.lambda}, {"psnr", c.psnr}});
    return {
        {"sample_cameras", ChoiceSampleCameras(capture.slab.columns, capture.slab.rows)},
        {"sample_pixels_per_camera", choice.pixels},
        {"validation", "one in ten of each sample camera's fitted photographs"},
        {"rule", StrPrintf("the fewest bands within %.1f dB of the best validation PSNR",
                           kBandChoiceSlackDb)},
        {"candidates", candidates},
        {"best", {{"bands", choice.best_bands}, {"psnr", choice.best_psnr}}},
        {"chosen",
         {{"bands", choice.bands}, {"lambda", choice.lambda}, {"psnr", choice.psnr}}},
        {"reason", BandChoiceReason(choice)},
    };
}

// One line when a camera has fewer than twice as many fitted photographs as
// coefficients; empty otherwise.
std::string FewPhotographsWarning(const Capture& capture,
                                  const std::vector<CameraWork>& work, int first, int T,
                                  int bands) {
    int few = 0;
    std::string line;
    for (size_t i = 0; i < work.size(); ++i) {
        int fitted = 0;
        for (uint8_t h : work[i].held)
            fitted += h ? 0 : 1;
        if (fitted >= 2 * T) continue;
        if (few++ == 0) {
            line = StrPrintf(
                "lumotool fit: warning: %s: %d photographs fitted with %d coefficients "
                "(%d bands), fewer than twice as many: the fit can reproduce them and "
                "still relight new directions badly; read the held-out error",
                capture.cameras[static_cast<size_t>(first) + i].lp.c_str(), fitted, T,
                bands);
        }
    }
    if (few > 1)
        line += StrPrintf(" (and %d more camera%s)", few - 1, few > 2 ? "s" : "");
    return few > 0 ? line + "\n" : "";
}

}  // namespace

std::string FitReportName(const Capture& capture, const FitOptions& options) {
    const int count = static_cast<int>(capture.cameras.size());
    const int last = options.last_camera < 0 ? count - 1 : options.last_camera;
    if (options.first_camera == 0 && last == count - 1) return "fit-report.json";
    return StrPrintf("fit-report.%d-%d.json", options.first_camera, last);
}

Status FitCapture(const Capture& capture_in, const std::string& outdir,
                  const FitOptions& options, const MessageSink& progress,
                  FitSummary& summary) {
    Capture capture = capture_in;
    // The options with the bands and lambda settled (chosen when automatic).
    FitOptions o = options;
    const bool choose = o.bands <= 0;
    if (!choose && o.lambda < 0.0) o.lambda = kDefaultFitLambda;
    const int count = static_cast<int>(capture.cameras.size());
    const int first = o.first_camera;
    const int last = o.last_camera < 0 ? count - 1 : o.last_camera;
    if (first < 0 || first > last || last >= count) {
        return Status::Error(
            StrPrintf("[FitCapture]: cameras %d-%d outside the capture's %d cameras\n",
                      first, last, count));
    }
    // Checked against the fewest bands a choice may make; again once chosen.
    int T = choose ? kMinChoiceBands * kMinChoiceBands : o.bands * o.bands;

    // Everything is checked before anything is written.
    std::vector<CameraWork> work(static_cast<size_t>(last - first + 1));
    int W = -1, H = -1;
    std::string size_source;
    int photographs = 0;
    for (int c = first; c <= last; ++c) {
        const CaptureCamera& camera = capture.cameras[static_cast<size_t>(c)];
        CameraWork& w = work[static_cast<size_t>(c - first)];
        Status s = ReadLightPositions(camera.lp, w.photos);
        if (!s.ok()) return s;
        const int n = static_cast<int>(w.photos.size());
        const int k = o.holdout < 0 ? DefaultHoldout(n) : o.holdout;
        if (k >= n || n - k < T) {
            return Status::Error(StrPrintf(
                "[FitCapture]: %s: %d photographs, %d held out, leave fewer than the %d "
                "coefficients of %d bands\n",
                camera.lp.c_str(), n, k, T, choose ? kMinChoiceBands : o.bands));
        }
        if (o.bands > 1 && OneDirection(w.photos)) {
            return Status::Error(
                StrPrintf("[FitCapture]: %s: all %d photographs are lit from one "
                          "direction\n",
                          camera.lp.c_str(), n));
        }
        photographs += n;
        for (const LightPhoto& p : w.photos) {
            ImageSize size;
            s = ReadImageSize(p.path, size);
            if (!s.ok()) return s;
            if (W < 0) {
                W = size.width;
                H = size.height;
                size_source = p.path;
            } else if (size.width != W || size.height != H) {
                return Status::Error(
                    StrPrintf("[FitCapture]: %s is %d x %d, the capture's photographs "
                              "are %d x %d\n",
                              p.path.c_str(), size.width, size.height, W, H));
            }
        }
        w.held = HoldOut(w.photos, k);
    }
    SetPhotoSize(capture, W, H);

    std::error_code ec;
    fs::create_directories(outdir, ec);
    {
        const std::string probe = Join(outdir, ".fit-probe.part");
        FilePtr f = OpenFile(probe.c_str(), "wb");
        if (!fs::is_directory(outdir, ec) || !f) {
            return Status::Error(
                StrPrintf("[FitCapture]: cannot write into %s\n", outdir.c_str()));
        }
        f.reset();
        fs::remove(probe, ec);
    }

    auto record = std::make_unique<SlabRecord>();
    tool::FillSlabRecord(capture.slab, o.name.c_str(), *record);
    nlohmann::json choice_json;
    if (choose) {
        BandChoice choice;
        const Status s = ChooseCaptureBands(capture, o, *record, progress, choice);
        if (!s.ok()) return s;
        o.bands = choice.bands;
        o.lambda = choice.lambda;
        T = o.bands * o.bands;
        choice_json = ChoiceJson(capture, choice);
        summary.choice = BandChoiceReason(choice);
        for (int c = first; c <= last; ++c) {
            const CameraWork& w = work[static_cast<size_t>(c - first)];
            const int n = static_cast<int>(w.photos.size());
            int k = 0;
            for (uint8_t h : w.held)
                k += h;
            if (n - k < T) {
                return Status::Error(StrPrintf(
                    "[FitCapture]: %s: %d photographs, %d held out, leave fewer than the "
                    "%d coefficients of %d bands\n",
                    capture.cameras[static_cast<size_t>(c)].lp.c_str(), n, k, T,
                    o.bands));
            }
        }
    }
    summary.warning = FewPhotographsWarning(capture, work, first, T, o.bands);
    Emit(progress,
         StrPrintf("fit: cameras %d-%d of %d, %d x %d pixels, %d bands, into %s\n", first,
                   last, count, W, H, o.bands, outdir.c_str()));

    // The new files go into a staging folder of this run inside `outdir` and
    // are moved to their names only once every camera, the scene description
    // and the report are written (see CommitStaged): a failure or an
    // interruption before that leaves an earlier fit in `outdir` as it was.
    std::string staging;
    if (Status st = MakeStagingFolder(outdir, o.name, staging); !st.ok()) return st;
    std::vector<std::string> written;  // names in the staging folder
    auto undo = [&staging]() {
        std::error_code e;
        fs::remove_all(staging, e);
    };
    ErrorSum fit_error, hold_error;
    nlohmann::json cameras = nlohmann::json::array();
    for (int c = first; c <= last; ++c) {
        nlohmann::json entry;
        const Status s = FitCamera(capture, o, *record, static_cast<size_t>(c),
                                   work[static_cast<size_t>(c - first)], staging,
                                   progress, fit_error, hold_error, entry);
        if (!s.ok()) {
            undo();
            return s;
        }
        const CaptureCamera& camera = capture.cameras[static_cast<size_t>(c)];
        written.push_back(
            StrPrintf("%s.%d.%d.urdf.sh", o.name.c_str(), camera.column, camera.row));
        cameras.push_back(entry);
        Emit(progress,
             StrPrintf("fit: camera %d (%d, %d): RMS %.2f, PSNR %.2f dB\n", c,
                       camera.column, camera.row, entry["fit"]["rms"].get<double>(),
                       entry["fit"]["psnr"].get<double>()));
    }

    LidSpec spec;
    spec.comment = StrPrintf("Fitted by lumotool fit from %s: %d bands, lambda %g",
                             fs::path(capture.source).filename().string().c_str(),
                             o.bands, o.lambda);
    spec.name = o.name;
    spec.brdf = true;
    spec.harmonics = T;
    const std::string lid = o.name + ".lid";
    Status s = WriteTextFile(Join(staging, lid),
                             SlabLidText(tool::ToLidSlab(capture.slab), spec));
    if (!s.ok()) {
        undo();
        return s;
    }

    nlohmann::json report = {
        {"capture", capture.source},
        {"name", o.name},
        {"bands", o.bands},
        {"lambda", o.lambda},
        {"holdout",
         o.holdout < 0 ? nlohmann::json("one in ten") : nlohmann::json(o.holdout)},
        {"mask_below", o.mask_below},
        {"width", W},
        {"height", H},
        {"grid", {capture.slab.columns, capture.slab.rows}},
        {"cameras_fitted", {first, last}},
        {"scale", "8-bit: errors in units of 1/255 of the photographs' full scale"},
        {"cameras", cameras},
        {"overall", {{"fit", fit_error.Json()}}},
    };
    if (!choice_json.is_null()) report["choice"] = choice_json;
    if (hold_error.samples > 0) report["overall"]["holdout"] = hold_error.Json();
    const std::string report_path = Join(outdir, FitReportName(capture, o));
    s = WriteTextFile(Join(staging, FitReportName(capture, o)), report.dump(2) + "\n");
    if (!s.ok()) {
        undo();
        return s;
    }
    written.push_back(FitReportName(capture, o));
    written.push_back(lid);  // last: the scene names the other files
    s = CommitStaged(staging, outdir, written);
    undo();
    if (!s.ok()) return s;
    summary.cameras = last - first + 1;
    summary.photographs = photographs;
    summary.width = W;
    summary.height = H;
    summary.fit_rms = fit_error.Rms();
    summary.fit_psnr = fit_error.Psnr();
    summary.holdout_rms = hold_error.Rms();
    summary.holdout_psnr = hold_error.Psnr();
    summary.held_out = hold_error.samples > 0;
    summary.bands = o.bands;
    summary.lambda = o.lambda;
    summary.report = report_path;
    return Status::Ok();
}

}  // namespace lumo
