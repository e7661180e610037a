#include "base/repeated_messages.h"

#include <algorithm>

namespace lumo {

void RepeatedMessages::Say(std::string_view text) {
    auto it = std::find_if(seen_.begin(), seen_.end(),
                           [&](const Seen& s) { return s.text == text; });
    if (it != seen_.end()) {
        ++it->count;
        return;
    }
    seen_.push_back(Seen{std::string(text), 1});
    Emit(sink_, text);
}

void RepeatedMessages::Finish() {
    for (const Seen& s : seen_) {
        if (s.count < 2) continue;
        std::string_view text = s.text;
        while (!text.empty() && text.back() == '\n')
            text.remove_suffix(1);
        Emit(sink_, std::string(text) + " (" + std::to_string(s.count) + " times)\n");
    }
    seen_.clear();
}

size_t RepeatedMessages::Count(std::string_view text) const {
    auto it = std::find_if(seen_.begin(), seen_.end(),
                           [&](const Seen& s) { return s.text == text; });
    return it == seen_.end() ? 0 : it->count;
}

}  // namespace lumo
