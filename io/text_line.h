// Line reading with a bounded line length, as the text parts of lumo's files
// are read: a line is at most `max_chars` characters, a longer line continues
// as the following line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace lumo {

struct TextLineOptions {
    size_t max_chars = 999;  // characters per line, the line feed included
    bool drop_cr = false;    // text mode: a carriage return before a line feed is dropped
};

// Reads the next line into `line`, keeping its line feed, like fgets with a
// buffer of max_chars + 1 bytes. Returns false when nothing could be read (end
// of file). `at_eof` tells whether the end of the stream was met while reading
// this line (a last line without a line feed).
bool ReadTextLine(std::FILE* stream, const TextLineOptions& options, std::string& line,
                  bool& at_eof);

}  // namespace lumo
