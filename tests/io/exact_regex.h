// A death-test pattern that matches exactly the given text (the whole of
// standard error), with the regular expression's special characters escaped.
#pragma once

#include <string>

namespace lumo::testing {

inline std::string ExactRegex(const std::string& text) {
    std::string out = "^";
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out + "$";
}

}  // namespace lumo::testing
