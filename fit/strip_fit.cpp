#include "fit/strip_fit.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cstring>
#include <future>
#include <system_error>

#include "base/parallel_for.h"
#include "fit/byte_error_sums.h"

namespace lumo {
namespace {

using RowMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

size_t CeilDiv(size_t a, size_t b) {
    return (a + b - 1) / b;
}

}  // namespace

Status FitStrips(const StripFitSetup& o, PhotoRows& rows, BrdfStreamWriter& out,
                 const StripProgress& progress, StripFitResult& result) {
    const int32_t W = rows.width();
    const int32_t H = rows.height();
    const int T = o.bands * o.bands;
    const int N = static_cast<int>(rows.count());
    const int fitted = o.fitted;
    const size_t row_cols = 3 * static_cast<size_t>(W);  // columns per coefficient row
    const size_t cols = row_cols * static_cast<size_t>(H);
    const size_t blocks = CeilDiv(cols, kFitBlock);

    size_t strip = static_cast<size_t>(std::max(o.strip_rows, 0));
    if (strip == 0) {
        const size_t row_bytes = row_cols * static_cast<size_t>(N) * sizeof(float);
        strip = std::max<size_t>(1, (size_t{64} << 20) / std::max<size_t>(row_bytes, 1));
    }
    strip = std::min(strip, static_cast<size_t>(H));
    // Rows a block that spans a strip's lower edge keeps from the strip above.
    const size_t carry = CeilDiv(kFitBlock, row_cols) + 1;
    const size_t cap_cols = (strip + carry) * row_cols;

    // The window: coefficient rows [lo, hi) of every photograph (row r of
    // `values` is photograph r; column (y - lo) * 3W + 3x + c) and their
    // coefficients (column-major, one column per value column).
    RowMatrix values(N, static_cast<Eigen::Index>(cap_cols));
    Eigen::MatrixXf coeff(T, static_cast<Eigen::Index>(cap_cols));
    std::vector<uint8_t> present(static_cast<size_t>(W) * static_cast<size_t>(H), 0);
    std::vector<double> block_fit(blocks, 0.0), block_hold(blocks, 0.0);

    const Eigen::Map<const Eigen::MatrixXf> X(o.fit_matrix->data(), T, fitted);
    const Eigen::Map<const RowMatrix> Bm(o.basis->data(), N, T);
    // The engine truncates 255 * sum to a byte; half a byte on the constant
    // term makes the relit bytes the nearest ones.
    const float half_byte = 0.5f / 255.0f / (*o.basis)[0];

    // The file is written on a thread of its own while the next strip is
    // read and fitted: each strip's three channels are gathered into one of
    // two buffer sets and handed over; before the next hand-over the one
    // before is waited for, so a set is never refilled while it is written.
    // One thread writing also keeps the writes from queueing on the file's
    // lock, which costs the waiting core its time.
    std::vector<float> channel_buf[2][3];
    int buf_set = 0;
    std::future<Status> writing;
    auto finish_writing = [&writing]() {
        return writing.valid() ? writing.get() : Status::Ok();
    };
    size_t lo = static_cast<size_t>(H), hi = static_cast<size_t>(H);
    size_t write_hi = static_cast<size_t>(H);  // rows at and above it are written
    size_t next_block = blocks;                // blocks at and above it are done
    while (lo > 0) {
        const size_t take = std::min(strip, lo);
        const size_t new_lo = lo - take;
        // Move the rows kept from the strip above behind the new ones.
        const size_t kept = (hi - lo) * row_cols;
        if (kept > 0) {
            const size_t shift = take * row_cols;
            for (int r = 0; r < N; ++r) {
                float* v = values.row(r).data();
                std::memmove(v + shift, v, kept * sizeof(float));
            }
            float* c = coeff.data();
            std::memmove(c + shift * static_cast<size_t>(T), c,
                         kept * static_cast<size_t>(T) * sizeof(float));
        }
        // Picture row py is coefficient row H - 1 - py: the strip's rows are
        // read one at a time (top row first) straight into their places.
        std::vector<Status> failures(static_cast<size_t>(N));
        ParallelForEach(
            static_cast<size_t>(N),
            [&](size_t r) {
                const int32_t py0 = H - static_cast<int32_t>(lo);
                float* v = values.row(static_cast<Eigen::Index>(r)).data();
                for (size_t i = 0; i < take; ++i) {
                    // Picture row py0 + i is coefficient row lo - 1 - i.
                    const int32_t py = py0 + static_cast<int32_t>(i);
                    const Status s =
                        rows.Read(r, py, py + 1, v + (take - 1 - i) * row_cols);
                    if (!s.ok()) {
                        failures[r] = s;
                        return;
                    }
                }
            },
            o.threads);
        for (const Status& f : failures) {
            if (!f.ok()) return f;
        }
        lo = new_lo;
        // Pixels that rise above the mask threshold in some photograph.
        ParallelFor(
            take * static_cast<size_t>(W), 4096,
            [&](size_t b, size_t e) {
                for (size_t i = b; i < e; ++i) {
                    const size_t p = lo * static_cast<size_t>(W) + i;
                    for (int r = 0; r < N; ++r) {
                        const float* v = values.row(r).data() + 3 * i;
                        if (v[0] > o.mask_below || v[1] > o.mask_below ||
                            v[2] > o.mask_below) {
                            present[p] = 1;
                            break;
                        }
                    }
                }
            },
            o.threads);

        // Every block whose columns are all in the window now.
        const size_t first_block = CeilDiv(lo * row_cols, kFitBlock);
        const size_t base = lo * row_cols;
        ParallelFor(
            next_block - first_block, 1,
            [&](size_t b, size_t e) {
                for (size_t k = first_block + b; k < first_block + e; ++k) {
                    const size_t c0 = k * kFitBlock;
                    const Eigen::Index n =
                        static_cast<Eigen::Index>(std::min(cols, c0 + kFitBlock) - c0);
                    const Eigen::Index at = static_cast<Eigen::Index>(c0 - base);
                    coeff.middleCols(at, n).noalias() =
                        X * values.topRows(fitted).middleCols(at, n);
                    coeff.row(0).segment(at, n).array() += half_byte;
                    // One model buffer per thread (a new one per block costs a
                    // fresh mapping and its page faults).
                    thread_local RowMatrix model;
                    model.resize(N, n);
                    model.noalias() = Bm * coeff.middleCols(at, n);
                    // Each photograph's squared error is summed in column order,
                    // as one chain of additions (fit/byte_error_sums.h); the
                    // photographs' sums are then added in photograph order.
                    thread_local std::vector<uint8_t> has;
                    has.resize(static_cast<size_t>(n));
                    for (Eigen::Index j = 0; j < n; ++j)
                        has[static_cast<size_t>(j)] =
                            present[(c0 + static_cast<size_t>(j)) / 3];
                    thread_local std::vector<const float*> model_rows, value_rows;
                    thread_local std::vector<double> sums;
                    model_rows.resize(static_cast<size_t>(N));
                    value_rows.resize(static_cast<size_t>(N));
                    sums.resize(static_cast<size_t>(N));
                    for (int r = 0; r < N; ++r) {
                        model_rows[static_cast<size_t>(r)] = model.row(r).data();
                        value_rows[static_cast<size_t>(r)] = values.row(r).data() + at;
                    }
                    ByteErrorSums(model_rows.data(), value_rows.data(), has.data(),
                                  static_cast<size_t>(n), N, sums.data());
                    double sf = 0.0, sh = 0.0;
                    for (int r = 0; r < N; ++r)
                        (r < fitted ? sf : sh) += sums[static_cast<size_t>(r)];
                    block_fit[k] = sf;
                    block_hold[k] = sh;
                }
            },
            o.threads);
        next_block = first_block;

        // Rows whose every column is done go to the file.
        const size_t done_rows = CeilDiv(next_block * kFitBlock, row_cols);
        const size_t y0 = std::max(lo, done_rows);
        if (y0 < write_hi) {
            // The three channels gathered side by side, then written.
            const size_t n = (write_hi - y0) * static_cast<size_t>(W);
            const size_t t = static_cast<size_t>(T);
            std::vector<float>* bufs = channel_buf[buf_set];
            buf_set = 1 - buf_set;
            ParallelForEach(
                3,
                [&](size_t c) {
                    std::vector<float>& buf = bufs[c];
                    buf.resize(n * t);
                    const float* src = coeff.data();
                    for (size_t i = 0; i < n; ++i) {
                        const float* from = src + ((y0 - lo) * row_cols + 3 * i + c) * t;
                        float* to = buf.data() + i * t;
                        for (size_t j = 0; j < t; ++j)
                            to[j] = from[j];
                    }
                },
                o.threads);
            if (Status s = finish_writing(); !s.ok()) return s;
            const uint8_t* flags = present.data() + y0 * static_cast<size_t>(W);
            auto job = [&out, bufs, flags, first = static_cast<int32_t>(y0),
                        last = static_cast<int32_t>(write_hi)]() {
                for (int c = 0; c < 3; ++c) {
                    if (Status s = out.WriteRows(
                            c, first, last, bufs[static_cast<size_t>(c)].data(), flags);
                        !s.ok())
                        return s;
                }
                return Status::Ok();
            };
            try {
                writing = std::async(std::launch::async, job);
            } catch (const std::system_error&) {  // no thread to be had: write now
                if (Status s = job(); !s.ok()) return s;
            }
            write_hi = y0;
        }
        // Keep the rows the next block down still needs.
        hi = std::min(hi, std::max(lo, CeilDiv(next_block * kFitBlock, row_cols)));
        hi = std::max(hi, lo);
        if (progress) progress(H - static_cast<int32_t>(lo));
    }
    if (Status s = finish_writing(); !s.ok()) return s;
    for (size_t k = 0; k < blocks; ++k) {
        result.fit_squared += block_fit[k];
        result.hold_squared += block_hold[k];
    }
    result.present = 0;
    for (uint8_t p : present)
        result.present += p;
    return Status::Ok();
}

}  // namespace lumo
