// JSON whose numbers are read with strtof and written as the shortest text
// that reads back as the same float: rig and path files hold the same floats
// as the `--light` text and the model.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace lumo {

using FloatJson = nlohmann::basic_json<std::map, std::vector, std::string, bool,
                                       std::int64_t, std::uint64_t, float>;

}  // namespace lumo
