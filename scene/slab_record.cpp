#include "scene/slab_record.h"

namespace lumo {

void SlabRecord::Clear() {
    format = kFormatRGB;
    dct_quant_bit_rate = 3.0f;
    for (int g = 0; g < 2; ++g) {
        subvert[g].clear();
        sampvert[g].clear();
        photo[g].clear();
        subskip[g].clear();
        sampskip[g].clear();
        viewenablemask[g].clear();
    }
    brdf.clear();
    curr_st.clear();
    depth_loaded = 0;
    zfile.clear();
    shown.clear();
    fresh.clear();
    shown_level.clear();
    fresh_level.clear();
    reduced_photo.clear();
}

}  // namespace lumo
