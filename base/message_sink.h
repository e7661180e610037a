// Where a component writes the text it reports while it goes on: decoding
// errors inside deflate chunks, SGI reader reasons, decoder progress. The
// production sinks write to the standard streams; tests collect the texts.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

namespace lumo {

// Receives one piece of text exactly as it would be written. An empty
// function discards everything.
using MessageSink = std::function<void(std::string_view text)>;

inline void WriteToStderr(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// Progress goes to standard output and is flushed, so that it shows while the
// work goes on.
inline void WriteToStdout(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

inline void Emit(const MessageSink& sink, std::string_view text) {
    if (sink) sink(text);
}

}  // namespace lumo
