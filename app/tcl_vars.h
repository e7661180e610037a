// The Tcl variables linked to the model, the light-editing texts, and writing
// them from C.
#pragma once

#include <tcl.h>

#include <string>

#include "model/model.h"

namespace lumo {

// The light-editing texts, linked to Tcl string variables of the same names.
// Tcl owns and replaces the buffers (its allocator); null until linked.
struct LightEditTexts {
    char* harcnt_s = nullptr;
    char* radius_s = nullptr;
    char* slidelookat_s = nullptr;
    char* slideup_s = nullptr;
    char* slidefov_s = nullptr;
    char* slidename = nullptr;
};

// Links the variables (options, light count, current light and kind, mixed
// lights, the light-editing texts) to the model's fields and `texts`, in the
// order the viewer documents them.
void LinkModelVariables(Tcl_Interp* interp, Model& model, LightEditTexts& texts);

// Writes a linked string variable (Tcl copies the text into the linked
// buffer and owns it).
void SetStringVar(Tcl_Interp* interp, const char* name, const std::string& value);

// Text of a linked string buffer; "" when it is not set.
inline const char* LinkedText(const char* value) {
    return value != nullptr ? value : "";
}

}  // namespace lumo
