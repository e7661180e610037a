// The Tcl variables linked to the model, and writing them from C.
#pragma once

#include <tcl.h>

#include <string>

#include "model/model.h"

namespace lumo {

// Links the sixteen variables (options, light count and current light, the
// light-editing strings) to the model's fields, in the order the viewer
// documents them.
void LinkModelVariables(Tcl_Interp* interp, Model& model);

// Writes a linked string variable (Tcl copies the text into the model's
// field and owns it).
void SetStringVar(Tcl_Interp* interp, const char* name, const std::string& value);

// Tells Tcl that C changed linked variables, so that traces and widgets
// showing them see the new values.
void RefreshLinkedVariables(Tcl_Interp* interp);

// Text of a linked string field; "" when it is not set.
inline const char* LinkedText(const char* value) {
    return value != nullptr ? value : "";
}

}  // namespace lumo
