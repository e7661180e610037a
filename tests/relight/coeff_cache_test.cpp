// The coefficient cache: a first load writes the cache and maps it, later
// loads map it; the mapped image is the file's byte for byte, with the file's
// messages; a cache that does not match its file is ignored and rewritten; a
// folder that cannot take a cache falls back to the per-user folder, then to
// no cache.
#include "relight/coeff_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "relight/brdf_cache.h"
#include "relight/brdf_writer.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;

// A 13 x 9 file (117 pixels: the last tile padded) of random coefficients,
// some pixels absent in some channels, a whole row absent in all.
void WriteSource(const std::string& path, unsigned seed, int32_t width = 13) {
    ShCoeffImage image(width, 9, 3);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coeff(-1.0f, 1.5f);
    for (int32_t y = 0; y < 9; ++y) {
        if (y == 4) continue;
        for (int32_t x = 0; x < width; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                if ((x + 3 * y + ch) % 5 == 0) continue;
                std::vector<float> c(9);
                for (float& v : c)
                    v = coeff(rng);
                image.Set(ch, x, y, c);
            }
        }
    }
    ASSERT_TRUE(WriteBrdfFile(path.c_str(), image).ok());
}

struct Loaded {
    Status status;
    BrdfImage image;
    std::string messages;  // opening and header lines, in order
    CacheResult result;
};

Loaded Load(const std::string& path, bool half, const CoeffCacheOptions& cache) {
    Loaded l;
    BrdfReadOptions options;
    options.half = half;
    options.opening = [&l](std::string_view s) { l.messages.append(s); };
    options.header = [&l](std::string_view s) { l.messages.append(s); };
    l.status = LoadBrdfPathCached(path.c_str(), l.image, options, cache, l.result);
    return l;
}

// The file read without a cache.
Loaded Reference(const std::string& path, bool half) {
    CoeffCacheOptions off;
    off.enabled = false;
    return Load(path, half, off);
}

void ExpectSameImage(const Loaded& want, const Loaded& got) {
    ASSERT_TRUE(want.status.ok()) << want.status.message();
    ASSERT_TRUE(got.status.ok()) << got.status.message();
    EXPECT_EQ(want.messages, got.messages);
    const BrdfImage& a = want.image;
    const BrdfImage& b = got.image;
    EXPECT_EQ(a.lcnt, b.lcnt);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.harcnt, b.harcnt);
    EXPECT_EQ(a.half, b.half);
    EXPECT_EQ(a.tile_count, b.tile_count);
    EXPECT_EQ(std::vector<int32_t>({a.xmin, a.xmax, a.ymin, a.ymax}),
              std::vector<int32_t>({b.xmin, b.xmax, b.ymin, b.ymax}));
    EXPECT_TRUE(a.tile_pixel == b.tile_pixel);
    EXPECT_TRUE(a.tile_mask == b.tile_mask);
    ASSERT_EQ(a.coeff.size(), b.coeff.size());
    ASSERT_EQ(a.coeff_half.size(), b.coeff_half.size());
    if (!a.coeff.empty()) {
        EXPECT_EQ(0, std::memcmp(a.coeff.data(), b.coeff.data(), a.coeff.size() * 4));
    }
    if (!a.coeff_half.empty()) {
        EXPECT_EQ(0, std::memcmp(a.coeff_half.data(), b.coeff_half.data(),
                                 a.coeff_half.size() * 2));
    }
}

CoeffCacheOptions On(const TempDir& dir) {
    CoeffCacheOptions cache;
    cache.user_folder = dir.File("user/lumo");
    return cache;
}

class CoeffCacheTest : public ::testing::TestWithParam<bool> {};

TEST_P(CoeffCacheTest, TheFirstLoadWritesAndMapsTheCacheAndLaterLoadsMapIt) {
    const bool half = GetParam();
    TempDir dir;
    const std::string src = dir.File("obj.0.0.urdf.sh");
    WriteSource(src, 1);
    const Loaded want = Reference(src, half);
    EXPECT_FALSE(want.image.mapped());
    EXPECT_EQ(CacheResult::Use::kOff, want.result.use);
    EXPECT_FALSE(fs::exists(dir.File(".lumocache")));

    const std::string cache =
        dir.File(half ? ".lumocache/obj.0.0.urdf.sh.half.lumocache"
                      : ".lumocache/obj.0.0.urdf.sh.float.lumocache");
    const Loaded first = Load(src, half, On(dir));
    EXPECT_EQ(CacheResult::Use::kWritten, first.result.use);
    EXPECT_EQ(cache, first.result.path);
    EXPECT_TRUE(first.image.mapped())
        << "the written cache replaces the memory read into";
    ExpectSameImage(want, first);

    const Loaded second = Load(src, half, On(dir));
    EXPECT_EQ(CacheResult::Use::kMapped, second.result.use);
    EXPECT_EQ(cache, second.result.path);
    EXPECT_TRUE(second.image.mapped());
    ExpectSameImage(want, second);
    // Only the cache and nothing else (no temporary) is left in its folder.
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir.File(".lumocache"))) {
        EXPECT_EQ(cache, e.path().string());
        ++entries;
    }
    EXPECT_EQ(1u, entries);

    // The other precision has a cache of its own.
    const Loaded other = Load(src, !half, On(dir));
    EXPECT_EQ(CacheResult::Use::kWritten, other.result.use);
    ExpectSameImage(Reference(src, !half), other);
    EXPECT_EQ(CacheResult::Use::kMapped, Load(src, half, On(dir)).result.use);
}

INSTANTIATE_TEST_SUITE_P(Precisions, CoeffCacheTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Half" : "Float";
                         });

void Rewrite(const std::string& path, const std::function<void(std::string&)>& change) {
    std::string bytes = ReadFileBytes(path);
    change(bytes);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Changes a cache's bytes behind its checksums: the sums are written in again
// as the writer computes them, so that only the structural checks behind
// them can tell.
void RewriteSealed(const std::string& path,
                   const std::function<void(std::string&)>& change) {
    Rewrite(path, [&change](std::string& b) {
        change(b);
        SealBrdfCache(reinterpret_cast<uint8_t*>(b.data()), b.size());
    });
}

// The int32 at `at` in a cache's bytes.
void PutInt(std::string& b, size_t at, int32_t v) {
    std::memcpy(&b[at], &v, sizeof v);
}

// Where the pixel block of a cache of WriteSource's file starts: its first
// tile holds pixels 0 to 7.
size_t PixelBlock(const std::string& b) {
    std::string first(8 * sizeof(int32_t), '\0');
    for (int32_t i = 0; i < 8; ++i)
        PutInt(first, static_cast<size_t>(i) * sizeof(int32_t), i);
    const size_t at = b.find(first);
    EXPECT_NE(std::string::npos, at);
    return at == std::string::npos ? 0 : at;
}

// Moves a file's modification time by a second, so that a rewrite within one
// clock tick still shows.
void Age(const std::string& path) {
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::seconds(1));
}

struct Damage {
    const char* name;
    std::function<void(const std::string& source, const std::string& cache)> apply;
};

TEST(CoeffCacheStaleTest, ACacheThatDoesNotMatchItsFileIsIgnoredAndRewritten) {
    const std::vector<Damage> damages = {
        {"source rewritten, same size",
         [](const std::string& s, const std::string&) {
             WriteSource(s, 2);
             Age(s);
         }},
        {"source touched only", [](const std::string& s, const std::string&) { Age(s); }},
        {"source of another size",
         [](const std::string& s, const std::string&) { WriteSource(s, 1, 14); }},
        {"source rewritten, same size and time",
         [](const std::string& s, const std::string&) {
             const auto when = fs::last_write_time(s);
             WriteSource(s, 3);
             fs::last_write_time(s, when);
         }},
        {"cache truncated by a byte",
         [](const std::string&, const std::string& c) {
             fs::resize_file(c, fs::file_size(c) - 1);
         }},
        {"cache cut to its header",
         [](const std::string&, const std::string& c) { fs::resize_file(c, 200); }},
        {"cache empty",
         [](const std::string&, const std::string& c) { fs::resize_file(c, 0); }},
        {"another format version",
         [](const std::string&, const std::string& c) {
             Rewrite(c, [](std::string& b) { b[8] = static_cast<char>(b[8] + 1); });
         }},
        {"another byte order",
         [](const std::string&, const std::string& c) {
             Rewrite(c, [](std::string& b) { std::swap(b[12], b[15]); });
         }},
        {"a foreign file",
         [](const std::string&, const std::string& c) {
             std::ofstream(c, std::ios::trunc) << "not a cache\n";
         }},
        {"coefficients damaged",
         [](const std::string&, const std::string& c) {
             Rewrite(c, [](std::string& b) { b[b.size() - 40] ^= 0x5a; });
         }},
        {"trailer missing",
         [](const std::string&, const std::string& c) {
             Rewrite(c, [](std::string& b) { std::memset(&b[b.size() - 16], 0, 16); });
         }},
        {"pixel indices out of order, sealed",
         [](const std::string&, const std::string& c) {
             RewriteSealed(c, [](std::string& b) {
                 const size_t at = PixelBlock(b);
                 PutInt(b, at, 1);
                 PutInt(b, at + 4, 0);
             });
         }},
        {"a pixel index past the image, sealed",
         [](const std::string&, const std::string& c) {
             RewriteSealed(c, [](std::string& b) {
                 // The last pixel, 116 of 13 x 9, becomes the first past them.
                 std::string last(sizeof(int32_t), '\0');
                 PutInt(last, 0, 13 * 9 - 1);
                 const size_t at = b.find(last, PixelBlock(b));
                 ASSERT_NE(std::string::npos, at);
                 PutInt(b, at, 13 * 9);
             });
         }},
        {"padding before the last tile, sealed",
         [](const std::string&, const std::string& c) {
             RewriteSealed(c, [](std::string& b) { PutInt(b, PixelBlock(b) + 28, -1); });
         }},
        {"another tile width, sealed",
         [](const std::string&, const std::string& c) {
             RewriteSealed(c,
                           [](std::string& b) { b[20] = static_cast<char>(b[20] + 8); });
         }},
        {"cache is a folder",
         [](const std::string&, const std::string& c) {
             fs::remove(c);
             fs::create_directory(c);
         }},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        TempDir dir;
        const std::string src = dir.File("obj.1.0.urdf.sh");
        WriteSource(src, 1);
        const Loaded first = Load(src, false, On(dir));
        ASSERT_EQ(CacheResult::Use::kWritten, first.result.use);
        d.apply(src, first.result.path);
        const Loaded want = Reference(src, false);
        const Loaded again = Load(src, false, On(dir));
        ExpectSameImage(want, again);
        if (fs::is_directory(first.result.path)) {
            // Nothing replaces a folder: the per-user folder takes the cache.
            EXPECT_EQ(CacheResult::Use::kWritten, again.result.use);
            EXPECT_EQ(0u, again.result.path.rfind(dir.File("user/lumo/"), 0))
                << again.result.path;
        } else {
            EXPECT_EQ(CacheResult::Use::kWritten, again.result.use) << "rewritten";
            EXPECT_EQ(first.result.path, again.result.path);
        }
        const Loaded third = Load(src, false, On(dir));
        EXPECT_EQ(CacheResult::Use::kMapped, third.result.use);
        ExpectSameImage(want, third);
    }
}

TEST(CoeffCacheSealTest, SealingAWrittenCacheChangesNoByte) {
    TempDir dir;
    const std::string src = dir.File("obj.0.0.urdf.sh");
    WriteSource(src, 8);
    for (const bool half : {false, true}) {
        const Loaded first = Load(src, half, On(dir));
        ASSERT_EQ(CacheResult::Use::kWritten, first.result.use);
        const std::string written = ReadFileBytes(first.result.path);
        std::string sealed = written;
        SealBrdfCache(reinterpret_cast<uint8_t*>(sealed.data()), sealed.size());
        EXPECT_TRUE(written == sealed) << (half ? "half" : "float");
    }
    // A coefficient changed and sealed again passes for the file's cache: the
    // sealed damages above are refused by the checks behind the checksums.
    const std::string cache = Load(src, false, On(dir)).result.path;
    RewriteSealed(cache, [](std::string& b) { b[b.size() - 40] ^= 0x5a; });
    EXPECT_EQ(CacheResult::Use::kMapped, Load(src, false, On(dir)).result.use);
}

TEST(CoeffCacheFolderTest,
     AFolderThatCannotTakeTheCacheFallsBackToTheUserFolderThenToNone) {
    TempDir dir;
    const std::string src = dir.File("obj.0.0.urdf.sh");
    WriteSource(src, 4);
    const Loaded want = Reference(src, false);
    // The hidden folder's name taken by a file: no cache beside the source.
    std::ofstream(dir.File(".lumocache")) << "in the way\n";
    const Loaded first = Load(src, false, On(dir));
    ExpectSameImage(want, first);
    EXPECT_EQ(CacheResult::Use::kWritten, first.result.use);
    EXPECT_EQ(dir.File("user/lumo"), fs::path(first.result.path).parent_path().string());
    EXPECT_NE(std::string::npos,
              first.result.path.find("-obj.0.0.urdf.sh.float.lumocache"));
    EXPECT_EQ(CacheResult::Use::kMapped, Load(src, false, On(dir)).result.use);

    // A file of the same name elsewhere gets a cache of its own there.
    fs::create_directory(dir.File("other"));
    const std::string twin = dir.File("other/obj.0.0.urdf.sh");
    WriteSource(twin, 5);
    std::ofstream(dir.File("other/.lumocache")) << "in the way\n";
    const Loaded other = Load(twin, false, On(dir));
    EXPECT_EQ(CacheResult::Use::kWritten, other.result.use);
    EXPECT_NE(first.result.path, other.result.path);
    ExpectSameImage(Reference(twin, false), other);

    // Neither place writable: loaded without a cache, and the reasons said.
    CoeffCacheOptions none;
    none.user_folder = dir.File(".lumocache/lumo");  // under a file
    const Loaded bare = Load(src, false, none);
    ExpectSameImage(want, bare);
    EXPECT_EQ(CacheResult::Use::kNotWritten, bare.result.use);
    EXPECT_FALSE(bare.image.mapped());
    EXPECT_NE(std::string::npos, bare.result.reason.find(dir.File(".lumocache") + ": "))
        << bare.result.reason;
    EXPECT_NE(std::string::npos, bare.result.reason.find(none.user_folder + ": "))
        << bare.result.reason;
}

TEST(CoeffCacheFolderTest, AReadOnlyFolderFallsBackToTheUserFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from writing";
    TempDir dir;
    fs::create_directory(dir.File("scene"));
    const std::string src = dir.File("scene/obj.0.0.urdf.sh");
    WriteSource(src, 6);
    fs::permissions(dir.File("scene"), fs::perms::owner_read | fs::perms::owner_exec);
    const Loaded got = Load(src, false, On(dir));
    fs::permissions(dir.File("scene"), fs::perms::owner_all);
    ExpectSameImage(Reference(src, false), got);
    EXPECT_EQ(CacheResult::Use::kWritten, got.result.use);
    EXPECT_EQ(dir.File("user/lumo"), fs::path(got.result.path).parent_path().string());
}

TEST(CoeffCacheFolderTest, CachingOffReadsTheFileAndWritesNothing) {
    TempDir dir;
    const std::string src = dir.File("obj.0.0.urdf.sh");
    WriteSource(src, 7);
    CoeffCacheOptions off = On(dir);
    off.enabled = false;
    const Loaded got = Load(src, false, off);
    EXPECT_EQ(CacheResult::Use::kOff, got.result.use);
    EXPECT_FALSE(got.image.mapped());
    EXPECT_FALSE(fs::exists(dir.File(".lumocache")));
    EXPECT_FALSE(fs::exists(dir.File("user")));
    // A file that cannot be read fails as it always has, cache or not.
    const Loaded missing = Load(dir.File("none.urdf.sh"), false, On(dir));
    EXPECT_EQ("Cannot read brdf file: " + dir.File("none.urdf.sh") + "\n",
              missing.status.message());
}

TEST(CoeffCacheEnvironmentTest, TheUserFolderAndTheSwitchComeFromTheEnvironment) {
    EXPECT_EQ("/x/cache/lumo", UserCacheFolder("/x/cache", "/home/u"));
    EXPECT_EQ("/home/u/.cache/lumo", UserCacheFolder(nullptr, "/home/u"));
    EXPECT_EQ("/home/u/.cache/lumo", UserCacheFolder("relative", "/home/u"));
    EXPECT_EQ("/home/u/.cache/lumo", UserCacheFolder("", "/home/u"));
    EXPECT_EQ("", UserCacheFolder(nullptr, nullptr));
    for (const char* off : {"0", "off", "no", "false"})
        EXPECT_TRUE(CacheOffByEnvironment(off)) << off;
    for (const char* on : {"1", "", "yes", "on"})
        EXPECT_FALSE(CacheOffByEnvironment(on)) << on;
    EXPECT_FALSE(CacheOffByEnvironment(nullptr));
    EXPECT_EQ(std::vector<std::string>({"d/.lumocache/f.urdf.sh.half.lumocache"}),
              CoeffCachePaths("d/f.urdf.sh", true, ""));
}

}  // namespace
}  // namespace lumo
