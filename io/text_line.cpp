#include "io/text_line.h"

namespace lumo {

bool ReadTextLine(std::FILE* stream, const TextLineOptions& options, std::string& line,
                  bool& at_eof) {
    line.clear();
    at_eof = false;
    while (line.size() < options.max_chars) {
        int c = std::getc(stream);
        if (c == EOF) {
            at_eof = true;
            break;
        }
        if (c == '\r' && options.drop_cr) {
            const int next = std::getc(stream);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                std::ungetc(next, stream);
            }
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !line.empty();
}

}  // namespace lumo
