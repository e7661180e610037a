#include "app/tcl_vars.h"

namespace lumo {
namespace {

template <typename Part>
struct IntVar {
    const char* name;
    int32_t Part::*field;
};

struct StringVar {
    const char* name;
    char* LightEditTexts::*field;
};

constexpr IntVar<Options> kOptionVars[] = {
    {"skipconstpoly", &Options::skipconstpoly},
    {"skipbilinpoly", &Options::skipbilinpoly},
    {"constgridenable", &Options::constgridenable},
    {"bilingridenable", &Options::bilingridenable},
    {"preview", &Options::preview},
    {"show_fps", &Options::show_fps},
    {"drawslabmode", &Options::drawslabmode},
};

constexpr IntVar<LightTable> kLightVars[] = {
    {"lightcnt", &LightTable::lightcnt},
    {"currlight", &LightTable::currlight},
    {"currlighttype", &LightTable::currlighttype},
    {"mixedlights", &LightTable::mixed},
};

constexpr StringVar kStringVars[] = {
    {"harcnt_s", &LightEditTexts::harcnt_s},
    {"radius_s", &LightEditTexts::radius_s},
    {"slidelookat_s", &LightEditTexts::slidelookat_s},
    {"slideup_s", &LightEditTexts::slideup_s},
    {"slidefov_s", &LightEditTexts::slidefov_s},
    {"slidename", &LightEditTexts::slidename},
};

template <typename Part, size_t N>
void LinkInts(Tcl_Interp* interp, Part& part, const IntVar<Part> (&vars)[N]) {
    for (const IntVar<Part>& v : vars) {
        Tcl_LinkVar(interp, v.name, reinterpret_cast<char*>(&(part.*v.field)),
                    TCL_LINK_INT);
    }
}

}  // namespace

void LinkModelVariables(Tcl_Interp* interp, Model& model, LightEditTexts& texts) {
    LinkInts(interp, model.options, kOptionVars);
    LinkInts(interp, model.lights, kLightVars);
    for (const StringVar& v : kStringVars) {
        Tcl_LinkVar(interp, v.name, reinterpret_cast<char*>(&(texts.*v.field)),
                    TCL_LINK_STRING);
    }
}

void SetStringVar(Tcl_Interp* interp, const char* name, const std::string& value) {
    // Always the global variable: a command called from inside a Tcl proc
    // must still reach the linked variable, not a local of that name.
    Tcl_SetVar(interp, name, value.c_str(), TCL_GLOBAL_ONLY);
}

}  // namespace lumo
