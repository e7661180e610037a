#include "testing/whole_fit_reference.h"

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
#include "base/file_ptr.h"
#include "base/parallel_for.h"
#include "base/psnr.h"
#include "base/str_printf.h"
#include "fit/fit_capture.h"
#include "fit/holdout.h"
#include "fit/light_positions.h"
#include "io/image_file.h"
#include "relight/brdf_writer.h"
#include "relight/slab_frame.h"
#include "scene/lid_writer.h"

namespace lumo::testing {
namespace {

namespace fs = std::filesystem;

// Columns per matrix product: fixed, so that the arithmetic of every column
// is the same whichever thread runs it and however many there are.
constexpr size_t kBlock = 2048;

std::string Join(const std::string& dir, const std::string& name) {
    return (fs::path(dir) / name).string();
}

std::string TempName(const std::string& path) {
    return path + ".part";
}

// Moves a completed temporary file to its final name.
Status Publish(const std::string& path) {
    std::error_code ec;
    fs::rename(TempName(path), path, ec);
    if (ec) {
        fs::remove(TempName(path), ec);
        return Status::Error(StrPrintf("[FitCapture]: cannot write %s\n", path.c_str()));
    }
    return Status::Ok();
}

Status WriteTextFile(const std::string& path, const std::string& text) {
    const std::string tmp = TempName(path);
    FilePtr f = OpenFile(tmp.c_str(), "wb");
    if (!f)
        return Status::Error(StrPrintf("[FitCapture]: cannot write %s\n", path.c_str()));
    const bool ok = std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
    if (std::fclose(f.release()) != 0 || !ok) {
        std::error_code ec;
        fs::remove(tmp, ec);
        return Status::Error(StrPrintf("[FitCapture]: cannot write %s\n", path.c_str()));
    }
    return Publish(path);
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
    const size_t cols = pixels * 3;
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

    // The photographs: row r of `values` is photograph order[r]; column
    // 3 * (y * W + x) + c is channel c of coefficient pixel (x, y). Rows are
    // contiguous, so each decoded picture is copied in order.
    RowMatrix& values = scratch.values;
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
        o.threads);
    for (const Status& f : failures) {
        if (!f.ok()) return f;
    }

    // Pixels that rise above the mask threshold in some photograph.
    std::vector<uint8_t> present(pixels, 0);
    for (size_t p = 0; p < pixels; ++p) {
        for (int r = 0; r < N; ++r) {
            const float* v = values.row(r).data() + 3 * p;
            if (v[0] > o.mask_below || v[1] > o.mask_below || v[2] > o.mask_below) {
                present[p] = 1;
                break;
            }
        }
    }

    // Coefficients (T x cols) and the model's bytes under every photograph's
    // light, block by block; the error sums per block, added in block order.
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
        o.threads);
    ErrorSum cam_fit, cam_hold;
    for (size_t k = 0; k < blocks; ++k) {
        cam_fit.squared += block_fit[k];
        cam_hold.squared += block_hold[k];
    }
    cam_fit.samples = static_cast<double>(fitted) * static_cast<double>(cols);
    cam_hold.samples = static_cast<double>(N - fitted) * static_cast<double>(cols);
    fit_error.squared += cam_fit.squared;
    fit_error.samples += cam_fit.samples;
    hold_error.squared += cam_hold.squared;
    hold_error.samples += cam_hold.samples;

    ShCoeffImage image(W, H, o.bands);
    size_t present_count = 0;
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
    const std::string path = Join(
        outdir, StrPrintf("%s.%d.%d.urdf.sh", o.name.c_str(), camera.column, camera.row));
    s = WriteBrdfFile(TempName(path).c_str(), image);
    if (!s.ok()) {
        std::error_code ec;
        fs::remove(TempName(path), ec);
        return s;
    }
    s = Publish(path);
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

Status WholeImageFitCapture(const Capture& capture_in, const std::string& outdir,
                            const FitOptions& o, const MessageSink& progress,
                            FitSummary& summary) {
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

    std::vector<std::string> written;
    auto undo = [&written]() {
        std::error_code e;
        for (const std::string& f : written)
            fs::remove(f, e);
    };
    ErrorSum fit_error, hold_error;
    FitScratch scratch;
    nlohmann::json cameras = nlohmann::json::array();
    for (int c = first; c <= last; ++c) {
        nlohmann::json entry;
        const Status s = FitCamera(capture, o, *record, static_cast<size_t>(c),
                                   work[static_cast<size_t>(c - first)], outdir, scratch,
                                   fit_error, hold_error, entry);
        if (!s.ok()) {
            undo();
            return s;
        }
        const CaptureCamera& camera = capture.cameras[static_cast<size_t>(c)];
        written.push_back(Join(outdir, StrPrintf("%s.%d.%d.urdf.sh", o.name.c_str(),
                                                 camera.column, camera.row)));
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
    const std::string lid = Join(outdir, o.name + ".lid");
    Status s = WriteTextFile(lid, SlabLidText(tool::ToLidSlab(capture.slab), spec));
    if (!s.ok()) {
        undo();
        return s;
    }
    written.push_back(lid);

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
    s = WriteTextFile(report_path, report.dump(2) + "\n");
    if (!s.ok()) {
        undo();
        return s;
    }
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

}  // namespace lumo::testing
