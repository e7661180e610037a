#include "io/dct_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "base/str_printf.h"

namespace lumo {
namespace {

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
}

// Lloyd-Max quantiser with `levels` levels for the ascending `samples`.
std::vector<double> FitCodebook(const std::vector<double>& samples, size_t levels,
                                int iterations) {
    const size_t n = samples.size();
    std::vector<double> prefix(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i)
        prefix[i + 1] = prefix[i] + samples[i];
    auto mean = [&](size_t a, size_t b) {
        return (prefix[b] - prefix[a]) / double(b - a);
    };
    std::vector<double> c(levels);
    // Start from the means of equal-count groups.
    for (size_t l = 0; l < levels; ++l) {
        const size_t a = n * l / levels, b = std::max(a + 1, n * (l + 1) / levels);
        c[l] = n == 0 ? 0.0 : mean(std::min(a, n - 1), std::min(b, n));
    }
    for (int it = 0; it < iterations; ++it) {
        bool changed = false;
        size_t a = 0;
        for (size_t l = 0; l < levels; ++l) {
            size_t b = n;
            if (l + 1 < levels) {
                const double t = 0.5 * (c[l] + c[l + 1]);
                b = static_cast<size_t>(
                    std::upper_bound(samples.begin(), samples.end(), t) -
                    samples.begin());
                b = std::max(a, b);
            }
            if (b > a) {
                const double m = mean(a, b);
                if (m != c[l]) changed = true;
                c[l] = m;
            }
            a = b;
        }
        if (!changed) break;
    }
    return c;
}

// The index of the value of the ascending `book` nearest to `x`.
int32_t Nearest(const std::vector<float>& book, double x) {
    const auto it = std::lower_bound(book.begin(), book.end(), x,
                                     [](float v, double t) { return double(v) < t; });
    size_t i = static_cast<size_t>(it - book.begin());
    if (i == book.size()) return static_cast<int32_t>(i - 1);
    if (i > 0 && x - double(book[i - 1]) <= double(book[i]) - x) --i;
    return static_cast<int32_t>(i);
}

}  // namespace

void ForwardDct8x8(const float in[64], double out[64]) {
    static const auto basis = [] {
        std::vector<double> m(64);
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                m[8 * u + x] = 0.5 * (u == 0 ? std::sqrt(0.5) : 1.0) *
                               std::cos((2 * x + 1) * u * M_PI / 16.0);
        return m;
    }();
    double rows[64];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0.0;
            for (int x = 0; x < 8; ++x)
                s += basis[8 * u + x] * in[8 * y + x];
            rows[8 * y + u] = s;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0.0;
            for (int y = 0; y < 8; ++y)
                s += basis[8 * v + y] * rows[8 * y + u];
            out[8 * v + u] = s;
        }
}

Status EncodeDct(const float* pixels, int32_t width, int32_t height,
                 const DctEncodeOptions& options, DctCode& code) {
    const int64_t pw = (int64_t{width} + 7) / 8 * 8, ph = (int64_t{height} + 7) / 8 * 8;
    if (width < 0 || height < 0 || pw * ph > DCT_MAX_PIXELS)
        return Status::Error("[EncodeDct]: image size out of range\n");
    code = DctCode();
    code.width = width;
    code.height = height;
    const size_t across = static_cast<size_t>(pw / 8);
    const size_t blocks = across * static_cast<size_t>(ph / 8);

    // Coefficients by position: samples[k][b].
    std::vector<std::vector<double>> samples(64, std::vector<double>(blocks));
    for (size_t b = 0; b < blocks; ++b) {
        float block[64];
        const size_t bx = 8 * (b % across), by = 8 * (b / across);
        for (size_t y = 0; y < 8; ++y)
            for (size_t x = 0; x < 8; ++x) {
                const size_t sx =
                    std::min<size_t>(bx + x, static_cast<size_t>(width) - 1);
                const size_t sy =
                    std::min<size_t>(by + y, static_cast<size_t>(height) - 1);
                block[8 * y + x] = pixels[sy * static_cast<size_t>(width) + sx];
            }
        double f[64];
        ForwardDct8x8(block, f);
        for (int k = 0; k < 64; ++k)
            samples[k][b] = f[k];
    }

    // Bits by position: each next bit goes where it removes the most error
    // (variance x 4^-bits), never more levels than there are blocks.
    double variance[64] = {};
    for (int k = 0; k < 64 && blocks > 0; ++k) {
        const double m =
            std::accumulate(samples[k].begin(), samples[k].end(), 0.0) / blocks;
        double s = 0.0;
        for (double v : samples[k])
            s += (v - m) * (v - m);
        variance[k] = s / blocks;
    }
    int cap = std::clamp(options.max_bits, 0, 16);
    while (cap > 0 && (size_t{1} << cap) > blocks)
        --cap;
    const int budget = std::clamp(
        static_cast<int>(std::lround(64.0 * options.rate / 8.0)) * 8, 0, 64 * cap);
    for (int spent = 0; spent < budget; ++spent) {
        int best = -1;
        double gain = -1.0;
        for (int k = 0; k < 64; ++k) {
            if (code.bitWidth[k] >= cap) continue;
            const double g = variance[k] * std::ldexp(1.0, -2 * code.bitWidth[k]);
            if (g > gain) gain = g, best = k;
        }
        ++code.bitWidth[best];
    }

    code.codebook.resize(64);
    code.index.assign(blocks * 64, 0);
    for (int k = 0; k < 64; ++k) {
        std::vector<double> sorted = samples[k];
        std::sort(sorted.begin(), sorted.end());
        const std::vector<double> fitted =
            FitCodebook(sorted, size_t{1} << code.bitWidth[k], options.iterations);
        std::vector<float>& book = code.codebook[k];
        book.assign(fitted.begin(), fitted.end());
        std::sort(book.begin(), book.end());
        for (size_t b = 0; b < blocks; ++b)
            code.index[64 * b + k] = Nearest(book, samples[k][b]);
    }
    return Status::Ok();
}

std::vector<uint8_t> PackIndices(const DctCode& code) {
    int bits_per_block = 0;
    for (int32_t w : code.bitWidth)
        bits_per_block += w;
    const size_t blocks = code.index.size() / 64;
    std::vector<uint8_t> out((blocks * static_cast<size_t>(bits_per_block) + 7) / 8, 0);
    uint64_t bit = 0;
    for (size_t i = 0; i < code.index.size(); ++i) {
        const int w = code.bitWidth[i % 64];
        const uint32_t v = static_cast<uint32_t>(code.index[i]);
        for (int b = w - 1; b >= 0; --b, ++bit)
            if ((v >> b) & 1) out[bit >> 3] |= static_cast<uint8_t>(0x80 >> (bit & 7));
    }
    return out;
}

Status AppendDctStream(std::vector<uint8_t>& file, const DctCode& code, uint64_t base,
                       const DeflateWriteOptions& deflate) {
    const std::string head = StrPrintf("DCT\n%d %d\n", code.width, code.height);
    file.insert(file.end(), head.begin(), head.end());
    for (int32_t w : code.bitWidth)
        PutBig32(file, static_cast<uint32_t>(w));
    for (const std::vector<float>& book : code.codebook)
        for (float v : book) {
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            PutBig32(file, bits);
        }
    const std::vector<uint8_t> packed = PackIndices(code);
    return AppendDeflateZip(file, packed.data(), packed.size(), deflate, base);
}

DctImage DctImageFromCode(const DctCode& code) {
    DctImage image;
    image.width = code.width;
    image.height = code.height;
    image.paddedWidth = (code.width + 7) / 8 * 8;
    image.paddedHeight = (code.height + 7) / 8 * 8;
    image.unpadded =
        image.width == image.paddedWidth && image.height == image.paddedHeight;
    image.ready = true;
    std::copy(code.bitWidth, code.bitWidth + 64, image.bitWidth);
    image.bitsPerBlock = std::accumulate(code.bitWidth, code.bitWidth + 64, 0);
    image.codebook = code.codebook;
    const std::vector<uint8_t> packed = PackIndices(code);
    image.packed.assign(packed.begin(), packed.end());
    image.packedSize = image.packed.size();
    image.packed.resize(image.packed.size() + 8, 0);
    return image;
}

}  // namespace lumo
