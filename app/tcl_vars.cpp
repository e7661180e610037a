#include "app/tcl_vars.h"

namespace lumo {
namespace {

struct IntVar {
    const char* name;
    int32_t Model::*field;
};

struct StringVar {
    const char* name;
    char* Model::*field;
};

constexpr IntVar kIntVars[] = {
    {"skipconstpoly", &Model::skipconstpoly},
    {"skipbilinpoly", &Model::skipbilinpoly},
    {"constgridenable", &Model::constgridenable},
    {"bilingridenable", &Model::bilingridenable},
    {"preview", &Model::preview},
    {"show_fps", &Model::show_fps},
    {"drawslabmode", &Model::drawslabmode},
    {"lightcnt", &Model::lightcnt},
    {"currlight", &Model::currlight},
    {"currlighttype", &Model::currlighttype},
};

constexpr StringVar kStringVars[] = {
    {"harcnt_s", &Model::harcnt_s},           {"radius_s", &Model::radius_s},
    {"slidelookat_s", &Model::slidelookat_s}, {"slideup_s", &Model::slideup_s},
    {"slidefov_s", &Model::slidefov_s},       {"slidename", &Model::slidename},
};

}  // namespace

void LinkModelVariables(Tcl_Interp* interp, Model& model) {
    for (const IntVar& v : kIntVars) {
        Tcl_LinkVar(interp, v.name, reinterpret_cast<char*>(&(model.*v.field)),
                    TCL_LINK_INT);
    }
    for (const StringVar& v : kStringVars) {
        Tcl_LinkVar(interp, v.name, reinterpret_cast<char*>(&(model.*v.field)),
                    TCL_LINK_STRING);
    }
}

void SetStringVar(Tcl_Interp* interp, const char* name, const std::string& value) {
    // Always the global variable: a command called from inside a Tcl proc
    // must still reach the linked variable, not a local of that name.
    Tcl_SetVar(interp, name, value.c_str(), TCL_GLOBAL_ONLY);
}

void RefreshLinkedVariables(Tcl_Interp* interp) {
    for (const IntVar& v : kIntVars)
        Tcl_UpdateLinkedVar(interp, v.name);
    for (const StringVar& v : kStringVars)
        Tcl_UpdateLinkedVar(interp, v.name);
}

}  // namespace lumo
