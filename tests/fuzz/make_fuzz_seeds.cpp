// Writes a seed corpus for the fuzz targets with lumo's own writers:
// make_fuzz_seeds DIR creates DIR/<target>/seed-N files.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/str_printf.h"
#include "io/dct_writer.h"
#include "io/deflate_writer.h"
#include "io/depth_map_writer.h"
#include "io/hsh_writer.h"
#include "io/image_file.h"
#include "io/image_set_writer.h"
#include "io/plane_set_writer.h"
#include "io/ptm_writer.h"
#include "io/sgi_writer.h"
#include "model/light_rig.h"
#include "model/view_path.h"
#include "relight/brdf_cache.h"
#include "relight/brdf_file.h"
#include "relight/brdf_writer.h"
#include "tests/fuzz/coeff_cache_stamp.h"

namespace {

using namespace lumo;

bool Save(const std::filesystem::path& dir, const std::string& target, int n,
          const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(dir / target);
    const std::string path = (dir / target / ("seed-" + std::to_string(n))).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Photo Picture(int w, int h, int seed) {
    Photo p;
    (void)p.Alloc(w, h);
    for (size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = static_cast<uint8_t>(100 + 80 * std::sin(0.1 * double(i) + seed));
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    bool ok = true;

    const std::vector<uint8_t> text = {'l', 'u', 'm', 'o', ' ', 's', 'e', 'e', 'd'};
    for (int n = 0; n < 3; ++n) {
        std::vector<uint8_t> data(static_cast<size_t>(50 + 20000 * n));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>((i / 37) * n + text[i % text.size()]);
        std::vector<uint8_t> file;
        ok &= AppendDeflateZip(file, data.data(), data.size(),
                               {.piece = n == 2 ? size_t{4096} : size_t{32768},
                                .reverse_layout = n == 1})
                  .ok();
        ok &= Save(dir, "deflate_container", n, file);
    }

    const int sizes[][2] = {{8, 8}, {13, 10}, {24, 16}};
    for (int n = 0; n < 3; ++n) {
        const Photo p = Picture(sizes[n][0], sizes[n][1], n);
        std::vector<float> f(p.pixels.size() / 3);
        for (size_t i = 0; i < f.size(); ++i)
            f[i] = p.pixels[3 * i];
        DctCode code;
        std::vector<uint8_t> file;
        ok &= EncodeDct(f.data(), p.width, p.height, {.rate = 1.0 + n}, code).ok();
        ok &= AppendDctStream(file, code).ok();
        ok &= Save(dir, "dct_stream", n, file);
    }

    const int grids[][4] = {{1, 1, 8, 8}, {3, 2, 5, 3}, {2, 2, 8, 4}};
    for (int n = 0; n < 3; ++n) {
        std::vector<Photo> photos;
        for (int i = 0; i < grids[n][0] * grids[n][1]; ++i)
            photos.push_back(Picture(grids[n][2], grids[n][3], i));
        std::vector<uint8_t> file;
        ImageSetWriteOptions options;
        options.dct.rate = 2;
        ok &= EncodeImageSet(photos.data(), grids[n][0], grids[n][1], options, file).ok();
        ok &= Save(dir, "image_set", n, file);
    }

    const SgiWriteOptions sgi[] = {
        {SgiStorage::kVerbatim, SgiScanlineOrder::kRowByRow},
        {SgiStorage::kRunLength, SgiScanlineOrder::kRowByRow},
        {SgiStorage::kRunLength, SgiScanlineOrder::kChannelByChannel}};
    for (int n = 0; n < 3; ++n) {
        SgiImage image = SgiFromPhoto(Picture(6 + n, 4, n));
        if (n == 2) {  // a grey image
            image.zsize = 1;
            image.planes.resize(static_cast<size_t>(image.xsize) * image.ysize);
        }
        std::FILE* f = std::tmpfile();
        ok &= f != nullptr && std::fputc(n & 1, f) != EOF &&
              WriteSGI(f, image, sgi[n]).ok();
        std::vector<uint8_t> bytes;
        if (f != nullptr) {
            std::rewind(f);
            for (int c; (c = std::fgetc(f)) != EOF;)
                bytes.push_back(static_cast<uint8_t>(c));
            std::fclose(f);
        }
        ok &= Save(dir, "sgi_image", n, bytes);
    }

    for (int n = 0; n < 2; ++n) {
        Zfile z;
        z.width = 4 + n;
        z.height = 3;
        for (int i = 0; i < z.width * z.height; ++i)
            z.depth.push_back(i % 5 == 0 ? 1e30f : float(i) - 2.5f);
        std::vector<uint8_t> file;
        ok &= EncodeZfile(
                  z, n ? ZfileByteOrder::kLittleEndian : ZfileByteOrder::kBigEndian, file)
                  .ok();
        ok &= Save(dir, "depth_map", n, file);
    }
    // Scene descriptions: a relightable slab with a mask, photographs on a QR
    // grid, and a panorama.
    const char* lids[] = {
        "SLAB 0 scene\nSAMPLES_UV 4 4\nSAMPLES_ST 64 64\nFORMAT BRDF\n"
        "SAMPLES_SPHERHARMONICS 16\nSLAB_UV\n-0.6 -0.6 2 1  0 0\n0.6 -0.6 2 1  1 0\n"
        "0.6 0.6 2 1  1 1\n-0.6 0.6 2 1  0 1\nSLAB_ST\n-0.6 -0.6 0 1  0 0\n"
        "0.6 -0.6 0 1  1 0\n0.6 0.6 0 1  1 1\n-0.6 0.6 0 1  0 1\n"
        "VIEW_ENABLE_MASK_BEGIN\n1 1 1 0\n1 1 1 1\n1 1 1 1\n1 1 1 1\n"
        "VIEW_ENABLE_MASK_END\n",
        "# photographs\nSLAB 0 photo\nSAMPLES_UV 2 2\nSAMPLES_QR 2 2\nSAMPLES_ST 8 8\n"
        "FORMAT RGB\nDCT_QUANT_BIT_RATE 2.5\nSLAB_QR\n0 0 1 1\n1 0 1 1\n1 1 1 1\n"
        "0 1 1 1\n",
        "PANORAMA 1 pano\nPANORAMA_IMAGE_WIDTH_HEIGHT 64 32\n",
    };
    for (int n = 0; n < 3; ++n) {
        const std::string text = lids[n];
        ok &= Save(dir, "lid_file", n, std::vector<uint8_t>(text.begin(), text.end()));
    }

    // Coefficient files: 2 and 3 bands, a partial window, a channel missing.
    for (int n = 0; n < 3; ++n) {
        ShCoeffImage image(5 + n, 4, 2 + (n & 1), n == 2 ? 3 : -1);
        for (int32_t y = n; y < 4; ++y)
            for (int32_t x = 1; x < 5 + n; ++x)
                for (int c = 0; c < (n == 1 ? 2 : 3); ++c) {
                    const float v[9] = {0.5f,  0.1f * float(x), -0.2f,  0.05f * float(y),
                                        0.01f, 0.02f,           -0.03f, 0.04f,
                                        0.05f};
                    image.Set(c, x, y, v);
                }
        std::FILE* f = std::tmpfile();
        ok &= f != nullptr && WriteBrdfStream(f, image.ToFileData()).ok();
        std::vector<uint8_t> bytes;
        if (f != nullptr) {
            std::rewind(f);
            for (int c; (c = std::fgetc(f)) != EOF;)
                bytes.push_back(static_cast<uint8_t>(c));
            std::fclose(f);
        }
        ok &= Save(dir, "brdf_file", n, bytes);
    }
    {
        // Coefficient caches, as a load writes them: float and half, odd sizes
        // with absent pixels (the last tile padded), no stored coefficients,
        // no pixels at all; each behind the byte that asks for its precision
        // (fuzz_coeff_cache.cpp), one of them also asked for unsealed.
        const struct {
            int32_t width, height, lcnt, harcnt;
            bool half, empty;
        } caches[] = {{13, 9, 3, -1, false, false},
                      {13, 9, 3, -1, true, false},
                      {7, 5, 2, -1, true, false},
                      {5, 3, 2, 0, false, false},
                      {6, 4, 1, -1, false, true}};
        int n = 0;
        std::vector<uint8_t> first;
        for (const auto& c : caches) {
            ShCoeffImage coeffs(c.width, c.height, c.lcnt, c.harcnt);
            for (int32_t y = 0; y < c.height && !c.empty; ++y)
                for (int32_t x = 0; x < c.width; ++x)
                    for (int ch = 0; ch < 3; ++ch) {
                        if ((x + 3 * y + ch) % 5 == 0 || y == 2) continue;
                        const float v[9] = {
                            0.5f,  0.1f * float(x), -0.2f,  0.05f * float(y + ch),
                            0.01f, 0.02f,           -0.03f, 0.04f,
                            0.05f};
                        coeffs.Set(ch, x, y, v);
                    }
            const std::string source = (dir / "cache-source.urdf.sh").string();
            const std::string cache = (dir / "cache.lumocache").string();
            BrdfReadOptions options;
            std::string text;
            options.header = [&text](std::string_view line) { text.append(line); };
            options.opening = MessageSink();
            options.half = c.half;
            BrdfImage image;
            ok &= WriteBrdfFile(source.c_str(), coeffs).ok() &&
                  LoadBrdfPath(source.c_str(), image, options).ok() &&
                  WriteBrdfCache(cache, image, text, kFuzzCacheStamp).ok();
            std::vector<uint8_t> bytes = {static_cast<uint8_t>(c.half ? 1 : 0)};
            if (std::FILE* in = std::fopen(cache.c_str(), "rb")) {
                for (int b; (b = std::fgetc(in)) != EOF;)
                    bytes.push_back(static_cast<uint8_t>(b));
                std::fclose(in);
            }
            std::filesystem::remove(source);
            std::filesystem::remove(cache);
            if (first.empty()) first = bytes;
            ok &= Save(dir, "coeff_cache", n++, bytes);
        }
        first[0] |= 2;
        ok &= Save(dir, "coeff_cache", n, first);
    }
    {
        // A rig with every kind and a two-keyframe path holding it.
        LightRig rig;
        rig.harmonics = 9;
        rig.current = 1;
        std::string error;
        for (const char* spec :
             {"dir=0.3,-0.2,-1 color=1,0.9,0.8", "kind=point radius=2.5 dir=0,1,-1",
              "kind=reserved", "kind=env map=none.exr spin=30 dir=0,0.5,-1",
              "kind=slide lookat=0.1,0,0 up=0,0,1 fov=30,20 slide=none.rgb"}) {
            LightSpec light;
            ok &= ParseLightSpec(spec, light, error);
            rig.lights.push_back(light);
        }
        const std::string rig_text = LightRigText(rig);
        ok &= Save(dir, "light_rig", 0,
                   std::vector<uint8_t>(rig_text.begin(), rig_text.end()));
        ViewPath path;
        path.keyframes.resize(2);
        path.keyframes[1].time = 2.0f;
        path.keyframes[1].turn_y = 1.0f;
        path.keyframes[1].zoom = 2.0f;
        path.keyframes[0].rig = rig;
        path.keyframes[1].rig = rig;
        const std::string path_text = ViewPathText(path);
        ok &= Save(dir, "light_rig", 1,
                   std::vector<uint8_t>(path_text.begin(), path_text.end()));
    }
    // Polynomial texture maps: every format, the JPEG ones with a predicted
    // plane and side information.
    const PtmFormat formats[] = {PtmFormat::kRgb,      PtmFormat::kLrgb,
                                 PtmFormat::kLum,      PtmFormat::kJpegRgb,
                                 PtmFormat::kJpegLrgb, PtmFormat::kLrgb};
    for (int n = 0; n < 6; ++n) {
        PtmFile ptm;
        ptm.format = formats[n];
        ptm.version = n == 5 ? "PTM_1.1" : "PTM_1.2";
        ptm.width = 8 + n;
        ptm.height = 8;
        for (int i = 0; i < 6; ++i) {
            ptm.scale[i] = 0.5f + 0.1f * float(i);
            ptm.bias[i] = i == 5 ? 0 : 128;
        }
        ptm.coeff.resize(ptm.Pixels() * 6 * size_t(ptm.Blocks()));
        for (size_t i = 0; i < ptm.coeff.size(); ++i)
            ptm.coeff[i] = uint8_t(120 + 60 * std::sin(0.07 * double(i)));
        if (ptm.HasColour()) {
            ptm.rgb.resize(ptm.Pixels() * 3);
            for (size_t i = 0; i < ptm.rgb.size(); ++i)
                ptm.rgb[i] = uint8_t(90 + (i * 13) % 150);
        }
        PtmWriteOptions options;
        options.quality = 60;
        options.reference = {-1, 0};
        options.transform = {0, 1};
        std::vector<uint8_t> bytes;
        ok &= EncodePtm(ptm, options, bytes).ok();
        ok &= Save(dir, "ptm_file", n, bytes);
    }
    for (int n = 0; n < 2; ++n) {
        HshFile hsh;
        hsh.width = 5 + n;
        hsh.height = 3;
        hsh.terms = n ? 9 : 4;
        for (int k = 0; k < hsh.terms; ++k) {
            hsh.scale.push_back(0.5f + 0.1f * float(k));
            hsh.bias.push_back(-0.2f);
        }
        hsh.bytes.resize(size_t(hsh.width * hsh.height * 3 * hsh.terms));
        for (size_t i = 0; i < hsh.bytes.size(); ++i)
            hsh.bytes[i] = uint8_t(i * 37);
        std::vector<uint8_t> bytes;
        ok &= EncodeHsh(hsh, bytes).ok();
        ok &= Save(dir, "hsh_file", n, bytes);
    }
    const char* layouts[][2] = {{"ptm", "rgb"}, {"ptm", "lrgb"}, {"hsh", "rgb"}};
    const int planes[] = {18, 9, 27};
    for (int n = 0; n < 3; ++n) {
        PlaneSetInfo info;
        info.width = 64;
        info.height = 48;
        info.type = layouts[n][0];
        info.colorspace = layouts[n][1];
        info.nplanes = planes[n];
        info.scale.assign(size_t(planes[n]), 1.5f);
        info.bias.assign(size_t(planes[n]), 0.25f);
        const std::string text = PlaneSetInfoText(info);
        ok &= Save(dir, "plane_set", n, std::vector<uint8_t>(text.begin(), text.end()));
    }
    {
        // Pictures in every format the wrapper reads, tiled too, each behind
        // the byte that chooses its format (fuzz_image_file.cpp).
        FloatImage img;
        img.width = 13;
        img.height = 9;
        img.channels = 3;
        for (int i = 0; i < 13 * 9 * 3; ++i)
            img.pixels.push_back(static_cast<float>(0.5 + 0.4 * std::sin(0.3 * i)));
        const struct {
            uint8_t selector;
            const char* ext;
            ImageBits bits;
            int32_t tile;
        } files[] = {
            {0, ".png", ImageBits::k8, 0},      {0, ".png", ImageBits::k16, 0},
            {1, ".jpg", ImageBits::k8, 0},      {2, ".tif", ImageBits::k16, 0},
            {2, ".tif", ImageBits::k8, 16},     {3, ".exr", ImageBits::kFloat, 0},
            {3, ".exr", ImageBits::kFloat, 16}, {4, ".hdr", ImageBits::kFloat, 0},
            {5, ".ppm", ImageBits::k8, 0}};
        int n = 0;
        for (const auto& f : files) {
            const std::filesystem::path tmp =
                dir / ("picture" + std::to_string(n) + f.ext);
            ok &= WriteImageFile(tmp.string(), img, f.bits, f.tile).ok();
            std::vector<uint8_t> bytes = {f.selector};
            if (std::FILE* in = std::fopen(tmp.string().c_str(), "rb")) {
                for (int c; (c = std::fgetc(in)) != EOF;)
                    bytes.push_back(static_cast<uint8_t>(c));
                std::fclose(in);
            }
            std::filesystem::remove(tmp);
            ok &= Save(dir, "image_file", n++, bytes);
        }
    }
    {
        // The fit's text inputs, as a capture would hand them over: no writer
        // of lumo makes them but the report parts, whose shape this follows.
        auto text = [&](const char* target, int k, const std::string& t) {
            ok &= Save(dir, target, k, std::vector<uint8_t>(t.begin(), t.end()));
        };
        text("light_positions", 0,
             "4\np0.png 0.1 0.2 0.97\np1.png -0.5 0.1 0.86\r\n"
             "p2.png 0 -0.7 0.71\np3.png 0.3e0 0.4 -0.866\n");
        text("light_positions", 1, "\n\n2\n  a b.png 1 0 0\nc.png 0 0 1");
        const std::string camera =
            R"({"camera_plane": [[-1,-1,2],[1,-1,2],[1,1,2],[-1,1,2]], )"
            R"("image_plane": [[-1,-1,0],[1,-1,0],[1,1,0],[-1,1,0]], )";
        text("capture_manifest", 0,
             "{\"grid\": [2, 1], " + camera.substr(1) +
                 R"("cameras": [{"column": 0, "row": 0, "lp": "a/lights.lp"}, )"
                 R"({"column": 1, "row": 0, "lp": "b/lights.lp"}]})");
        const std::string stats =
            R"({"rms": 1.5, "psnr": 44.6, "squared_error": 9.0, "samples": 4})";
        std::string cameras = "[";
        for (int c = 0; c < 4; ++c) {
            cameras +=
                (c > 0 ? ", " : "") +
                StrPrintf(R"({"index": %d, "column": %d, "row": %d, "lp": "c.lp", )"
                          R"("photographs": 12, "held_out_lines": [3], )"
                          R"("pixels_with_coefficients": 20, "fit": )",
                          c, c % 2, c / 2) +
                stats + R"(, "holdout": )" + stats + "}";
        }
        cameras += "]";
        text("report_part", 0,
             R"({"capture": "m.json", "name": "scene", "bands": 2, "lambda": 0.001, )"
             R"("holdout": 1, "mask_below": 0, "width": 6, "height": 4, "grid": [2, 2], )"
             R"("cameras_fitted": [0, 3], "cameras": )" +
                 cameras + R"(, "overall": {"fit": )" + stats + "}}");
    }
    if (!ok) std::fprintf(stderr, "make_fuzz_seeds: could not write the seeds\n");
    return ok ? 0 : 1;
}
