#include "fit/rti_model.h"

#include "base/str_printf.h"
#include "io/hsh_file.h"
#include "io/plane_set.h"
#include "io/ptm_file.h"

namespace lumo {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() &&
           s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// u^2, v^2, u v, u, v, 1: a PTM's terms in its file's order, over 255.
void PtmBasis(const double d[3], double* out) {
    const double u = d[0], v = d[1];
    const double terms[6] = {u * u, v * v, u * v, u, v, 1.0};
    for (int i = 0; i < 6; ++i)
        out[i] = terms[i] / 255.0;
}

// 1, u, v, u^2, u v, v^2: a plane set's PTM terms.
void PlanePtmBasis(const double d[3], double* out) {
    const double u = d[0], v = d[1];
    const double terms[6] = {1.0, u, v, u * u, u * v, v * v};
    for (int i = 0; i < 6; ++i)
        out[i] = terms[i];
}

void Allocate(RtiModel& m, int32_t w, int32_t h, int terms) {
    m.width = w;
    m.height = h;
    m.terms = terms;
    m.coeff.assign(
        static_cast<size_t>(w) * static_cast<size_t>(h) * 3 * static_cast<size_t>(terms),
        0.0f);
}

void FromPtm(const PtmFile& ptm, RtiModel& m) {
    Allocate(m, ptm.width, ptm.height, 6);
    m.kind = PtmFormatName(ptm.format);
    m.basis = PtmBasis;
    for (int32_t y = 0; y < ptm.height; ++y) {
        for (int32_t x = 0; x < ptm.width; ++x) {
            const size_t p = static_cast<size_t>(y) * static_cast<size_t>(ptm.width) +
                             static_cast<size_t>(x);
            for (int c = 0; c < 3; ++c) {
                float* out = m.At(x, y, c);
                const int block = ptm.Blocks() == 3 ? c : 0;
                // LRGB: the colour scales the luminance, RGB * L / 255.
                const float colour = ptm.HasColour()
                                         ? static_cast<float>(ptm.rgb[3 * p + c]) / 255.0f
                                         : 1.0f;
                for (int i = 0; i < 6; ++i)
                    out[i] = colour * ptm.Coefficient(block, x, y, i);
            }
        }
    }
}

void FromHsh(const HshFile& hsh, RtiModel& m) {
    Allocate(m, hsh.width, hsh.height, hsh.terms);
    m.kind = StrPrintf("HSH %d terms", hsh.terms);
    const int terms = hsh.terms;
    m.basis = [terms](const double d[3], double* out) { HshBasis(d, terms, out); };
    for (int32_t y = 0; y < hsh.height; ++y) {
        const int32_t row = hsh.height - 1 - y;  // stored top row first
        for (int32_t x = 0; x < hsh.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                float* out = m.At(x, y, c);
                for (int k = 0; k < terms; ++k)
                    out[k] = hsh.Term(x, row, c, k);
            }
        }
    }
}

void FromPlaneSet(const PlaneSet& set, RtiModel& m) {
    const PlaneSetInfo& info = set.info;
    const bool hsh = info.type == "hsh";
    const bool lrgb = info.colorspace == "lrgb";
    const int terms = hsh ? info.nplanes / 3 : 6;
    Allocate(m, info.width, info.height, terms);
    m.kind = StrPrintf("plane set %s %s", info.type.c_str(), info.colorspace.c_str());
    if (hsh) {
        m.basis = [terms](const double d[3], double* out) { HshBasis(d, terms, out); };
    } else {
        m.basis = PlanePtmBasis;
    }
    for (int32_t y = 0; y < info.height; ++y) {
        const int32_t row = info.height - 1 - y;  // pictures are upright
        for (int32_t x = 0; x < info.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                float* out = m.At(x, y, c);
                for (int k = 0; k < terms; ++k) {
                    out[k] = lrgb ? set.Value(c, x, row) * set.Value(3 + k, x, row)
                                  : set.Value(3 * k + c, x, row);
                }
            }
        }
    }
}

}  // namespace

double RtiModel::Value(int32_t x, int32_t y, int channel,
                       const double direction[3]) const {
    std::vector<double> b(static_cast<size_t>(terms));
    basis(direction, b.data());
    const float* a = At(x, y, channel);
    double sum = 0.0;
    for (int k = 0; k < terms; ++k)
        sum += static_cast<double>(a[k]) * b[static_cast<size_t>(k)];
    return sum;
}

Status LoadRtiModel(const std::string& source, RtiModel& model) {
    model = RtiModel();
    if (EndsWith(source, ".ptm") || EndsWith(source, ".PTM")) {
        PtmFile ptm;
        Status s = ReadPtmFile(source, ptm);
        if (!s.ok()) return s;
        FromPtm(ptm, model);
        return Status::Ok();
    }
    if (EndsWith(source, ".rti") || EndsWith(source, ".RTI")) {
        HshFile hsh;
        Status s = ReadHshFile(source, hsh);
        if (!s.ok()) return s;
        FromHsh(hsh, model);
        return Status::Ok();
    }
    if (EndsWith(source, ".json")) {
        PlaneSet set;
        Status s = ReadPlaneSet(source, set);
        if (!s.ok()) return s;
        FromPlaneSet(set, model);
        return Status::Ok();
    }
    return Status::Error(StrPrintf(
        "[ImportRti]: %s: expected a .ptm, an .rti or a plane set's info.json\n",
        source.c_str()));
}

}  // namespace lumo
