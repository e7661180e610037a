// Parsing JSON text into a value whose memory stays within a small multiple
// of the text's size.
//
// A JSON value costs far more than its text: every array or object is a heap
// block of its own, and destroying a large one takes a list of its elements
// first. Text nested thousands of levels deep ("[[[[...") or holding millions
// of tiny elements can therefore take many times the size of a capped file,
// and the library ends the program when it runs out of memory while
// destroying it. The readers of rigs, paths, capture manifests and report
// parts parse through this instead: nesting deeper than any of their formats
// goes, or a list longer than the file could validly hold, is refused while
// the text is read, before the value grows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/str_printf.h"

namespace lumo {

struct JsonBounds {
    size_t max_depth = 16;  // arrays and objects inside one another
    size_t max_elements = static_cast<size_t>(-1);  // of one array or object
};

// The bounds of a file of `bytes` bytes whose longest list's elements take
// at least `element_bytes` bytes each (no list needs more elements than
// that; small lists may always hold 64).
inline JsonBounds BoundsForText(size_t bytes, size_t element_bytes) {
    JsonBounds b;
    b.max_elements = std::max<size_t>(64, bytes / std::max<size_t>(1, element_bytes));
    return b;
}

// What a parse beyond the bounds throws: its what() is the one-line reason.
class JsonBoundsExceeded : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses `text` as Json::parse does (throwing Json's exceptions for bad
// syntax), or throws JsonBoundsExceeded: "nested more than D deep", "more
// than N elements in one array or object".
template <class Json>
Json ParseBoundedJson(const std::string& text, const JsonBounds& bounds) {
    std::vector<std::pair<bool, size_t>> open;  // (is an array, elements so far)
    const auto count = [&] {
        if (open.empty()) return;
        if (++open.back().second > bounds.max_elements)
            throw JsonBoundsExceeded(StrPrintf(
                "more than %zu elements in one array or object", bounds.max_elements));
    };
    using Event = typename Json::parse_event_t;
    const typename Json::parser_callback_t check = [&](int, Event event, Json&) {
        switch (event) {
            case Event::object_start:
            case Event::array_start:
                if (!open.empty() && open.back().first) count();
                if (open.size() >= bounds.max_depth)
                    throw JsonBoundsExceeded(
                        StrPrintf("nested more than %zu deep", bounds.max_depth));
                open.emplace_back(event == Event::array_start, 0);
                break;
            case Event::object_end:
            case Event::array_end:
                if (!open.empty()) open.pop_back();
                break;
            case Event::key:
                count();
                break;
            case Event::value:
                if (!open.empty() && open.back().first) count();
                break;
        }
        return true;
    };
    return Json::parse(text, check);
}

}  // namespace lumo
