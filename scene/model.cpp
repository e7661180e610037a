#include "scene/model.h"

namespace lumo {

Model::Model() {
    MatIdentity(base_modelview);
    MatIdentity(lightview_projection);
    MatIdentity(lightview_modelview);
}

Model& TheModel() {
    static Model model;
    return model;
}

}  // namespace lumo
