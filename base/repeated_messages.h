// A message said many times is said once: the first occurrence of each text
// goes through as it is, and Finish() then says each text that came again
// once more with its count, "TEXT (N times)\n" (N counting the first).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/message_sink.h"

namespace lumo {

class RepeatedMessages {
  public:
    explicit RepeatedMessages(MessageSink sink) : sink_(std::move(sink)) {}

    // Passes `text` on the first time it comes; counts it afterwards.
    void Say(std::string_view text);
    // Says every text that came more than once with its count, in the order
    // they first came, and forgets them all.
    void Finish();
    // How many times `text` came since the last Finish().
    size_t Count(std::string_view text) const;

  private:
    struct Seen {
        std::string text;
        size_t count = 0;
    };
    MessageSink sink_;
    std::vector<Seen> seen_;
};

}  // namespace lumo
