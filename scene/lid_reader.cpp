#include "scene/lid_reader.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/alloc.h"
#include "base/bounded_copy.h"
#include "base/fatal.h"
#include "base/file_ptr.h"
#include "base/lenient_number.h"
#include "io/text_line.h"

namespace lumo {
namespace {

constexpr TextLineOptions kLidLine{.max_chars = 999, .drop_cr = true};

// The largest grid the reader makes a mask for. Real slabs have a few thousand
// cameras; a count beyond this cannot be right and is refused as an allocation
// failure instead of reserving gigabytes.
constexpr size_t kMaxMaskBytes = size_t{1} << 26;

std::vector<std::string_view> SplitTokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\n'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\n')
            ++i;
        if (i > start) tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

enum class Keyword {
    kNone,
    kSlab,
    kSamplesUV,
    kSamplesST,
    kSamplesQR,
    kSamplesThetaPhi,
    kSamplesIntensity,
    kSamplesSphericalHarmonics,
    kDctQuantBitRate,
    kViewEnableMask,
    kFormat,
    kSlabUV,
    kSlabQR,
    kSlabST,
    kPanorama,
    kCylinderRadiusHeight,
    kBoundaryAngle,
    kPanoramaImageWidthHeight,
};

struct KeywordInfo {
    std::string_view word;
    Keyword keyword;
    int args;  // argument tokens that must follow on the same line
};

constexpr KeywordInfo kKeywords[] = {
    {"SLAB", Keyword::kSlab, 2},
    {"SAMPLES_UV", Keyword::kSamplesUV, 2},
    {"SAMPLES_ST", Keyword::kSamplesST, 2},
    {"SAMPLES_QR", Keyword::kSamplesQR, 2},
    {"SAMPLES_THETA_PHI", Keyword::kSamplesThetaPhi, 2},
    {"SAMPLES_INTENSITY", Keyword::kSamplesIntensity, 1},
    {"SAMPLES_SPHERHARMONICS", Keyword::kSamplesSphericalHarmonics, 1},
    {"DCT_QUANT_BIT_RATE", Keyword::kDctQuantBitRate, 1},
    {"VIEW_ENABLE_MASK_BEGIN", Keyword::kViewEnableMask, 0},
    {"FORMAT", Keyword::kFormat, 1},
    {"SLAB_UV", Keyword::kSlabUV, 0},
    {"SLAB_QR", Keyword::kSlabQR, 0},
    {"SLAB_ST", Keyword::kSlabST, 0},
    {"PANORAMA", Keyword::kPanorama, 2},
    {"CYLINDER_RADIUS_HEIGHT", Keyword::kCylinderRadiusHeight, 2},
    {"BOUNDARY_ANGLE", Keyword::kBoundaryAngle, 1},
    {"PANORAMA_IMAGE_WIDTH_HEIGHT", Keyword::kPanoramaImageWidthHeight, 2},
};

const KeywordInfo* FindKeyword(std::string_view token) {
    for (const KeywordInfo& k : kKeywords) {
        if (k.word == token) return &k;
    }
    return nullptr;
}

// A fresh all-enabled mask of u x v bytes.
Status MakeMask(std::vector<uint8_t>& mask, int32_t u, int32_t v) {
    size_t bytes = 0;
    if (u < 0 || v < 0 ||
        !CheckedMul(static_cast<size_t>(u), static_cast<size_t>(v), bytes) ||
        bytes > kMaxMaskBytes || !TryAssign(mask, bytes, uint8_t{1})) {
        return Status::Error("no memory for viewenablemask\n");
    }
    return Status::Ok();
}

class LidParser {
  public:
    LidParser(std::FILE* stream, LidInfo& info) : stream_(stream), info_(info) {}

    Status Run() {
        info_.slab_count = 0;
        std::string line;
        bool at_eof = false;
        while (ReadTextLine(stream_, kLidLine, line, at_eof)) {
            Status s = ParseLine(line);
            if (!s.ok()) return s;
        }
        return Status::Ok();
    }

  private:
    Status ParseLine(const std::string& line) {
        const std::vector<std::string_view> tokens = SplitTokens(line);
        size_t i = 0;
        while (i < tokens.size()) {
            const std::string_view candidate = tokens[i++];
            if (candidate.front() == '#') return Status::Ok();
            const KeywordInfo* k = FindKeyword(candidate);
            // A keyword whose arguments are missing from the line is skipped
            // as if it were unknown; its would-be arguments are candidates.
            if (k == nullptr || i + static_cast<size_t>(k->args) > tokens.size())
                continue;
            const std::string_view* args = tokens.data() + i;
            bool ends_line = false;
            Status s = Apply(*k, args, ends_line);
            if (!s.ok()) return s;
            if (ends_line) return Status::Ok();
            if (applied_) i += static_cast<size_t>(k->args);
        }
        return Status::Ok();
    }

    // Applies one keyword. Sets applied_ when the keyword took its argument
    // tokens; a keyword without the slab or panorama it needs is skipped.
    Status Apply(const KeywordInfo& k, const std::string_view* args, bool& ends_line) {
        applied_ = true;
        switch (k.keyword) {
            case Keyword::kSlab: {
                if (info_.kind != kSceneNone) {
                    return Status::Error(
                        "The lid cannot store both light slab and panorama\n");
                }
                info_.kind = kSceneSlab;
                SlabRecord& s = info_.slabs[static_cast<size_t>(info_.slab_count)];
                s.Clear();
                ++info_.slab_count;
                s.slab_number = LenientInt(args[0]);
                CopyBounded(s.name, args[1]);
                s.samples_u = s.samples_v = s.samples_q = s.samples_r = 0;
                s.samples_s = s.samples_t = 0;
                slab_ = &s;
                return Status::Ok();
            }
            case Keyword::kSamplesUV:
                if (slab_ == nullptr) break;
                slab_->samples_u = LenientInt(args[0]);
                slab_->samples_v = LenientInt(args[1]);
                return MakeMask(slab_->viewenablemask[0], slab_->samples_u,
                                slab_->samples_v);
            case Keyword::kSamplesST:
                if (slab_ == nullptr) break;
                slab_->samples_s = LenientInt(args[0]);
                slab_->samples_t = LenientInt(args[1]);
                return Status::Ok();
            case Keyword::kSamplesQR:
                if (slab_ == nullptr) break;
                slab_->samples_q = LenientInt(args[0]);
                slab_->samples_r = LenientInt(args[1]);
                return MakeMask(slab_->viewenablemask[1], slab_->samples_q,
                                slab_->samples_r);
            case Keyword::kSamplesThetaPhi:
                if (slab_ != nullptr) {
                    slab_->samples_theta = LenientInt(args[0]);
                    slab_->samples_phi = LenientInt(args[1]);
                } else if (panorama_ != nullptr) {
                    panorama_->samples_theta = LenientInt(args[0]);
                    panorama_->samples_phi = LenientInt(args[1]);
                } else {
                    break;
                }
                return Status::Ok();
            case Keyword::kSamplesIntensity:
                if (slab_ != nullptr) {
                    slab_->samples_intensity = LenientFloat(args[0]);
                } else if (panorama_ != nullptr) {
                    panorama_->samples_intensity = LenientFloat(args[0]);
                } else {
                    break;
                }
                return Status::Ok();
            case Keyword::kSamplesSphericalHarmonics:
                if (slab_ != nullptr) {
                    slab_->sh_count = LenientInt(args[0]);
                } else if (panorama_ != nullptr) {
                    panorama_->sh_count = LenientInt(args[0]);
                } else {
                    break;
                }
                return Status::Ok();
            case Keyword::kDctQuantBitRate:
                if (slab_ != nullptr) {
                    slab_->dct_quant_bit_rate = LenientFloat(args[0]);
                } else if (panorama_ != nullptr) {
                    panorama_->dct_quant_bit_rate = LenientFloat(args[0]);
                } else {
                    break;
                }
                return Status::Ok();
            case Keyword::kViewEnableMask:
                if (slab_ == nullptr || slab_->samples_u == 0) {
                    return Status::Error(
                        "Please specify uv resolution before the enable map\n");
                }
                ends_line = true;
                ReadMaskBlock();
                return Status::Ok();
            case Keyword::kFormat:
                // Without a slab the word is read and ignored.
                if (slab_ != nullptr) {
                    if (args[0] == "RGB") slab_->format = kFormatRGB;
                    if (args[0] == "BRDF") slab_->format = kFormatBRDF;
                }
                return Status::Ok();
            case Keyword::kSlabUV:
            case Keyword::kSlabQR:
            case Keyword::kSlabST:
                if (slab_ == nullptr) break;
                ends_line = true;
                ReadCornerBlock(k.keyword == Keyword::kSlabUV   ? kPlaneUV
                                : k.keyword == Keyword::kSlabQR ? kPlaneQR
                                                                : kPlaneST);
                return Status::Ok();
            case Keyword::kPanorama: {
                if (info_.kind != kSceneNone) {
                    return Status::Error("The lid cannot store only single panorama\n");
                }
                info_.kind = kScenePanorama;
                PanoramaRecord& p = info_.panorama;
                p.image_width = p.image_height = 0;
                p.ResetDeclared();
                p.panorama_number = LenientInt(args[0]);
                CopyBounded(p.name, args[1]);
                panorama_ = &p;
                return Status::Ok();
            }
            case Keyword::kCylinderRadiusHeight:
                if (panorama_ == nullptr) return NoPanorama();
                panorama_->cylinder_radius = LenientFloat(args[0]);
                panorama_->cylinder_height = LenientFloat(args[1]);
                return Status::Ok();
            case Keyword::kBoundaryAngle:
                if (panorama_ == nullptr) return NoPanorama();
                panorama_->boundary_angle = LenientFloat(args[0]);
                return Status::Ok();
            case Keyword::kPanoramaImageWidthHeight:
                if (panorama_ == nullptr) return NoPanorama();
                panorama_->image_width = LenientInt(args[0]);
                panorama_->image_height = LenientInt(args[1]);
                return Status::Ok();
            case Keyword::kNone:
                break;
        }
        applied_ = false;
        return Status::Ok();
    }

    static Status NoPanorama() {
        return Status::Error("Define the PANORAMA before any other fields\n");
    }

    // The next four lines give corners 0..3 of `plane`: x y z w and a pair.
    // Numbers missing from a line leave their fields as they were; a block cut
    // short by the end of the file leaves the remaining corners as they were.
    void ReadCornerBlock(int plane) {
        std::string line;
        bool at_eof = false;
        for (int i = 0; i < 4; ++i) {
            if (!ReadTextLine(stream_, kLidLine, line, at_eof)) return;
            Vec4& c = slab_->corner_vert[plane][i];
            float* pair = slab_->corner_pair[plane][i];
            std::sscanf(line.c_str(), "%f %f %f %f  %f %f", &c.x, &c.y, &c.z, &c.w,
                        &pair[0], &pair[1]);
        }
    }

    // Rows of the UV enable mask, top row (v = samples_v - 1) first, then one
    // closing line. A row that ends the file is not applied and ends the block.
    void ReadMaskBlock() {
        const int32_t nu = slab_->samples_u;
        const int32_t nv = slab_->samples_v;
        std::vector<uint8_t>& mask = slab_->viewenablemask[0];
        std::string line;
        bool at_eof = false;
        bool got = ReadTextLine(stream_, kLidLine, line, at_eof);
        for (int32_t v = nv - 1; v >= 0; --v) {
            if (!got || at_eof) return;
            const std::vector<std::string_view> tokens = SplitTokens(line);
            for (int32_t u = 0; u < nu; ++u) {
                const size_t index = static_cast<size_t>(v) * static_cast<size_t>(nu) +
                                     static_cast<size_t>(u);
                if (index >= mask.size()) continue;
                // A short row leaves its missing cameras enabled.
                const size_t t = static_cast<size_t>(u);
                mask[index] =
                    t < tokens.size() ? (LenientInt(tokens[t]) != 0 ? 1 : 0) : 1;
            }
            got = ReadTextLine(stream_, kLidLine, line, at_eof);
        }
    }

    std::FILE* stream_;
    LidInfo& info_;
    SlabRecord* slab_ = nullptr;
    PanoramaRecord* panorama_ = nullptr;
    bool applied_ = false;
};

}  // namespace

Status ReadLidStream(std::FILE* stream, LidInfo& info) {
    return LidParser(stream, info).Run();
}

Status ReadLidFile(const char* path, LidInfo& info) {
    if (path == nullptr) return Status::Error("[ReadLidFile]: invalid input parameter\n");
    FilePtr file = OpenFile(path, "rb");
    if (!file) return Status::Error("[ReadLidFile]: cannot open lidfile\n");
    return ReadLidStream(file.get(), info);
}

void ReadLidFileOrExit(const char* path, LidInfo& info) {
    FatalIfError(ReadLidFile(path, info));
}

}  // namespace lumo
