// JSON whose numbers are read with strtof and written as the shortest text
// that reads back as the same float: rig and path files hold the same floats
// as the `--light` text and the model.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "io/bounded_json.h"

namespace lumo {

using FloatJson = nlohmann::basic_json<std::map, std::vector, std::string, bool,
                                       std::int64_t, std::uint64_t, float>;

// Parses `text` into `out` within `bounds` (io/bounded_json.h). On failure
// returns false with the parser's reason in `error` (without its exception
// prefix): bad syntax, what the parser throws otherwise, such as a number too
// large for any number type, and text beyond the bounds.
inline bool ParseFloatJson(const std::string& text, FloatJson& out, std::string& error,
                           const JsonBounds& bounds = JsonBounds{}) {
    try {
        out = ParseBoundedJson<FloatJson>(text, bounds);
        return true;
    } catch (const JsonBoundsExceeded& e) {
        error = e.what();
        return false;
    } catch (const FloatJson::exception& e) {
        error = e.what();
        const size_t cut = error.find("] ");
        if (cut != std::string::npos) error = error.substr(cut + 2);
        return false;
    }
}

}  // namespace lumo
