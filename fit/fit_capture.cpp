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

#include "bake/bake_camera.h"
#include "bake/baked_slab.h"
#include "base/atomic_file.h"
#include "base/file_ptr.h"
#include "base/parallel_for.h"
#include "base/psnr.h"
#include "base/str_printf.h"
#include "fit/light_positions.h"
#include "io/image_file.h"
#include "relight/brdf_writer.h"
#include "relight/slab_frame.h"
#include "scene/lid_writer.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

// Columns per matrix product: fixed, so that the arithmetic of every column
// is the same whichever thread runs it and however many there are.
constexpr size_t kBlock = 2048;

std::string Join(const std::string& dir, const std::string& name) {
    return (fs::path(dir) / name).string();
}

Status WriteTextFile(const std::string& path, const std::string& text) {
    if (!WriteFileAtomically(path, text).ok())
        return Status::Error(StrPrintf("[FitCapture]: cannot write %s\n", path.c_str()));
    return Status::Ok();
}

// Farthest-point choice of `k` of the directions: first the one nearest
// their mean, then each time the one farthest from all chosen so far (the
// lowest index on ties). Order-independent and spread over the directions.
std::vector<uint8_t> HoldOut(const std::vector<LightPhoto>& photos, int k) {
    const size_t n = photos.size();
    std::vector<uint8_t> held(n, 0);
    if (k <= 0 || n == 0) return held;
    double mean[3] = {0, 0, 0};
    for (const LightPhoto& p : photos) {
        for (int c = 0; c < 3; ++c)
            mean[c] += p.direction[c];
    }
    auto dot = [](const double* a, const double* b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    size_t first = 0;
    for (size_t i = 1; i < n; ++i) {
        if (dot(photos[i].direction, mean) > dot(photos[first].direction, mean))
            first = i;
    }
    held[first] = 1;
    std::vector<double> nearest(n, 2.0);  // 1 - cos of the angle to the nearest chosen
    size_t last = first;
    for (int chosen = 1; chosen < k && static_cast<size_t>(chosen) < n; ++chosen) {
        size_t best = n;
        for (size_t i = 0; i < n; ++i) {
            nearest[i] = std::min(nearest[i],
                                  1.0 - dot(photos[i].direction, photos[last].direction));
            if (held[i]) continue;
            if (best == n || nearest[i] > nearest[best]) best = i;
        }
        held[best] = 1;
        last = best;
    }
    return held;
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

using RowMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// The large buffers, kept from camera to camera (all cameras have one size).
struct FitScratch {
    RowMatrix values;       // N x 3WH: the photographs
    Eigen::MatrixXf coeff;  // T x 3WH: the coefficients
};

struct CameraWork {
    std::vector<LightPhoto> photos;
    std::vector<uint8_t> held;  // per photograph: left out of the fit
};

// Decodes the photographs into `values`: row r is photograph order[r]; column
// 3 * (y * W + x) + c is channel c of coefficient pixel (x, y). Rows are
// contiguous, so each decoded picture is copied in order.
Status ReadPhotographs(const CameraWork& work, const std::vector<size_t>& order, int W,
                       int H, int threads, RowMatrix& values) {
    const int N = static_cast<int>(order.size());
    const size_t cols = static_cast<size_t>(W) * static_cast<size_t>(H) * 3;
    values.resize(N, static_cast<Eigen::Index>(cols));
    std::vector<Status> failures(static_cast<size_t>(N));
    ParallelForEach(
        static_cast<size_t>(N),
        [&](size_t r) {
            const LightPhoto& photo = work.photos[order[r]];
            // One picture buffer per thread, reused from photograph to photograph.
            thread_local FloatImage img;
            Status st = ReadImageFile(photo.path, img);
            if (st.ok() && (img.width != W || img.height != H)) {
                st = Status::Error(
                    StrPrintf("[FitCapture]: %s is %d x %d, the capture's photographs "
                              "are %d x %d\n",
                              photo.path.c_str(), img.width, img.height, W, H));
            }
            if (!st.ok()) {
                failures[r] = st;
                return;
            }
            const size_t ch_in = static_cast<size_t>(img.channels);
            float* out = values.row(static_cast<Eigen::Index>(r)).data();
            for (int y = 0; y < H; ++y) {
                // Picture rows run top first.
                const float* in = img.pixels.data() + static_cast<size_t>(H - 1 - y) *
                                                          static_cast<size_t>(W) * ch_in;
                float* dst = out + static_cast<size_t>(y) * static_cast<size_t>(W) * 3;
                for (int x = 0; x < W; ++x, in += ch_in, dst += 3) {
                    dst[0] = in[0];
                    dst[1] = in[ch_in >= 3 ? 1 : 0];
                    dst[2] = in[ch_in >= 3 ? 2 : 0];
                }
            }
        },
        threads);
    for (const Status& f : failures) {
        if (!f.ok()) return f;
    }
    return Status::Ok();
}

// Pixels that rise above the mask threshold in some photograph.
std::vector<uint8_t> PresentPixels(const RowMatrix& values, size_t pixels,
                                   float mask_below) {
    const int N = static_cast<int>(values.rows());
    std::vector<uint8_t> present(pixels, 0);
    for (size_t p = 0; p < pixels; ++p) {
        for (int r = 0; r < N; ++r) {
            const float* v = values.row(r).data() + 3 * p;
            if (v[0] > mask_below || v[1] > mask_below || v[2] > mask_below) {
                present[p] = 1;
                break;
            }
        }
    }
    return present;
}

// The first value of the photographs (rows of `values`, in `order`) that is
// not a finite number: one would turn the errors of its camera to NaN.
// "[FitCapture]: PATH: the value at x X, y Y is not a finite number\n", y
// counted from the picture's top.
Status CheckFinite(const RowMatrix& values, const CameraWork& work,
                   const std::vector<size_t>& order, int W, int H) {
    for (Eigen::Index r = 0; r < values.rows(); ++r) {
        const float* row = values.row(r).data();
        for (Eigen::Index i = 0; i < values.cols(); ++i) {
            if (std::isfinite(row[i])) continue;
            const int p = static_cast<int>(i / 3);
            return Status::Error(StrPrintf(
                "[FitCapture]: %s: the value at x %d, y %d is not a finite number\n",
                work.photos[order[static_cast<size_t>(r)]].path.c_str(), p % W,
                H - 1 - p / W));
        }
    }
    return Status::Ok();
}

// Coefficients (T x cols) and the model's bytes under every photograph's
// light, block by block; the error sums per block, added in block order.
void FitAndMeasure(const std::vector<float>& fit_matrix, const std::vector<float>& basis,
                   int T, int fitted, const std::vector<uint8_t>& present, int threads,
                   FitScratch& scratch, ErrorSum& cam_fit, ErrorSum& cam_hold) {
    const RowMatrix& values = scratch.values;
    const int N = static_cast<int>(values.rows());
    const size_t cols = static_cast<size_t>(values.cols());
    const Eigen::Map<const Eigen::MatrixXf> X(fit_matrix.data(), T, fitted);
    const Eigen::Map<
        const Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>
        Bm(basis.data(), N, T);
    // The engine truncates 255 * sum to a byte; half a byte on the constant
    // term makes the relit bytes the nearest ones.
    const float half_byte = 0.5f / 255.0f / basis[0];
    Eigen::MatrixXf& coeff = scratch.coeff;
    coeff.resize(T, static_cast<Eigen::Index>(cols));
    const size_t blocks = (cols + kBlock - 1) / kBlock;
    std::vector<double> block_fit(blocks, 0.0), block_hold(blocks, 0.0);
    ParallelFor(
        cols, kBlock,
        [&](size_t b, size_t e) {
            for (size_t c0 = b; c0 < e; c0 += kBlock) {
                const Eigen::Index c1 =
                    static_cast<Eigen::Index>(std::min(e, c0 + kBlock));
                const Eigen::Index n = c1 - static_cast<Eigen::Index>(c0);
                const Eigen::Index at = static_cast<Eigen::Index>(c0);
                coeff.middleCols(at, n).noalias() =
                    X * values.topRows(fitted).middleCols(at, n);
                coeff.row(0).segment(at, n).array() += half_byte;
                const RowMatrix model = Bm * coeff.middleCols(at, n);
                double sf = 0.0, sh = 0.0;
                for (int r = 0; r < N; ++r) {
                    const float* m = model.row(r).data();
                    const float* v = values.row(r).data() + at;
                    double sum_sq = 0.0;
                    for (Eigen::Index j = 0; j < n; ++j) {
                        const bool has = present[static_cast<size_t>(at + j) / 3] != 0;
                        const float sum = has && m[j] > 0.0f ? m[j] : 0.0f;
                        const double d = static_cast<double>(ToByte(sum * 255.0f)) -
                                         255.0 * static_cast<double>(v[j]);
                        sum_sq += d * d;
                    }
                    (r < fitted ? sf : sh) += sum_sq;
                }
                block_fit[c0 / kBlock] = sf;
                block_hold[c0 / kBlock] = sh;
            }
        },
        threads);
    for (size_t k = 0; k < blocks; ++k) {
        cam_fit.squared += block_fit[k];
        cam_hold.squared += block_hold[k];
    }
    cam_fit.samples = static_cast<double>(fitted) * static_cast<double>(cols);
    cam_hold.samples = static_cast<double>(N - fitted) * static_cast<double>(cols);
}

// Writes the present pixels' coefficients as the camera's coefficient file
// at `path`; counts the present pixels.
Status WriteCoefficients(const std::string& path, const Eigen::MatrixXf& coeff,
                         const std::vector<uint8_t>& present, int W, int H, int bands,
                         size_t& present_count) {
    const int T = bands * bands;
    const size_t pixels = present.size();
    ShCoeffImage image(W, H, bands);
    present_count = 0;
    for (size_t p = 0; p < pixels; ++p) {
        if (!present[p]) continue;
        ++present_count;
        const int x = static_cast<int>(p % static_cast<size_t>(W));
        const int y = static_cast<int>(p / static_cast<size_t>(W));
        for (int c = 0; c < 3; ++c) {
            image.Set(c, x, y,
                      std::span<const float>(
                          coeff.col(static_cast<Eigen::Index>(3 * p + c)).data(),
                          static_cast<size_t>(T)));
        }
    }
    AtomicWriteFailure failure;
    const Status s = WriteFileAtomically(
        path,
        [&image, &path](std::FILE* stream) {
            return WriteBrdfStream(stream, image.ToFileData(), path);
        },
        &failure);
    switch (failure.step) {
        case AtomicWriteFailure::Step::kNone:
        case AtomicWriteFailure::Step::kWrite:
            break;
        case AtomicWriteFailure::Step::kCreate:
            return Status::Error("[WriteBrdfFile]: cannot create " + failure.temp + "\n");
        case AtomicWriteFailure::Step::kClose:
            return Status::Error(StrPrintf("[WriteBrdfFile]: cannot write %s: %s\n",
                                           path.c_str(), failure.reason.c_str()));
        case AtomicWriteFailure::Step::kRename:
            return Status::Error(
                StrPrintf("[FitCapture]: cannot write %s\n", path.c_str()));
    }
    return s;
}

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
                 FitScratch& scratch, ErrorSum& fit_error, ErrorSum& hold_error,
                 nlohmann::json& entry) {
    const CaptureCamera& camera = capture.cameras[index];
    const int W = capture.slab.width;
    const int H = capture.slab.height;
    const int T = o.bands * o.bands;
    const size_t pixels = static_cast<size_t>(W) * static_cast<size_t>(H);
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

    s = ReadPhotographs(work, order, W, H, o.threads, scratch.values);
    if (!s.ok()) return s;
    if (s = CheckFinite(scratch.values, work, order, W, H); !s.ok()) return s;
    const std::vector<uint8_t> present =
        PresentPixels(scratch.values, pixels, o.mask_below);

    ErrorSum cam_fit, cam_hold;
    FitAndMeasure(fit_matrix, basis, T, fitted, present, o.threads, scratch, cam_fit,
                  cam_hold);
    fit_error.squared += cam_fit.squared;
    fit_error.samples += cam_fit.samples;
    hold_error.squared += cam_hold.squared;
    hold_error.samples += cam_hold.samples;

    const std::string path = Join(
        outdir, StrPrintf("%s.%d.%d.urdf.sh", o.name.c_str(), camera.column, camera.row));
    size_t present_count = 0;
    s = WriteCoefficients(path, scratch.coeff, present, W, H, o.bands, present_count);
    if (!s.ok()) return s;

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

}  // namespace

std::string FitReportName(const Capture& capture, const FitOptions& options) {
    const int count = static_cast<int>(capture.cameras.size());
    const int last = options.last_camera < 0 ? count - 1 : options.last_camera;
    if (options.first_camera == 0 && last == count - 1) return "fit-report.json";
    return StrPrintf("fit-report.%d-%d.json", options.first_camera, last);
}

Status FitCapture(const Capture& capture_in, const std::string& outdir,
                  const FitOptions& o, const MessageSink& progress, FitSummary& summary) {
    Capture capture = capture_in;
    const int count = static_cast<int>(capture.cameras.size());
    const int first = o.first_camera;
    const int last = o.last_camera < 0 ? count - 1 : o.last_camera;
    if (first < 0 || first > last || last >= count) {
        return Status::Error(
            StrPrintf("[FitCapture]: cameras %d-%d outside the capture's %d cameras\n",
                      first, last, count));
    }
    const int T = o.bands * o.bands;

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
        if (o.holdout >= n || n - o.holdout < T) {
            return Status::Error(StrPrintf(
                "[FitCapture]: %s: %d photographs, %d held out, leave fewer than the %d "
                "coefficients of %d bands\n",
                camera.lp.c_str(), n, o.holdout, T, o.bands));
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
        w.held = HoldOut(w.photos, o.holdout);
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
    FitScratch scratch;
    nlohmann::json cameras = nlohmann::json::array();
    for (int c = first; c <= last; ++c) {
        nlohmann::json entry;
        const Status s = FitCamera(capture, o, *record, static_cast<size_t>(c),
                                   work[static_cast<size_t>(c - first)], staging, scratch,
                                   fit_error, hold_error, entry);
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
        {"holdout", o.holdout},
        {"mask_below", o.mask_below},
        {"width", W},
        {"height", H},
        {"grid", {capture.slab.columns, capture.slab.rows}},
        {"cameras_fitted", {first, last}},
        {"scale", "8-bit: errors in units of 1/255 of the photographs' full scale"},
        {"cameras", cameras},
        {"overall", {{"fit", fit_error.Json()}}},
    };
    if (o.holdout > 0) report["overall"]["holdout"] = hold_error.Json();
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
    summary.report = report_path;
    return Status::Ok();
}

}  // namespace lumo
