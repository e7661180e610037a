#include "io/rti_bytes.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace lumo {
namespace {

bool IsSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

FilePtr OpenRegularFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    FilePtr f = OpenFile(path.c_str(), "rb");
    // Checked again on the open file: the name may have changed in between.
    if (f && (::fstat(fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode))) return nullptr;
    return f;
}

bool ReadAllBytes(std::FILE* stream, std::vector<uint8_t>& bytes) {
    bytes.clear();
    uint8_t buffer[1 << 16];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, stream);
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (n < sizeof buffer) return std::ferror(stream) == 0;
    }
}

bool TokenReader::Next(std::string_view& token) {
    for (;;) {
        while (at_ < bytes_.size() && IsSpace(bytes_[at_]))
            ++at_;
        if (at_ >= bytes_.size()) return false;
        if (comments_ && bytes_[at_] == '#') {
            while (at_ < bytes_.size() && bytes_[at_] != '\n')
                ++at_;
            continue;
        }
        const size_t start = at_;
        while (at_ < bytes_.size() && !IsSpace(bytes_[at_]))
            ++at_;
        token = std::string_view(reinterpret_cast<const char*>(bytes_.data()) + start,
                                 at_ - start);
        return true;
    }
}

bool TokenReader::Int(int64_t& value) {
    std::string_view t;
    if (!Next(t)) return false;
    const char* end = t.data() + t.size();
    const char* begin = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
    const auto r = std::from_chars(begin, end, value);
    return r.ec == std::errc() && r.ptr == end;
}

bool TokenReader::Float(float& value) {
    std::string_view t;
    if (!Next(t) || t.size() > 64) return false;
    const std::string text(t);
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

bool TokenReader::SkipOneSpace() {
    if (at_ >= bytes_.size() || !IsSpace(bytes_[at_])) return false;
    if (bytes_[at_] == '\r' && at_ + 1 < bytes_.size() && bytes_[at_ + 1] == '\n') ++at_;
    ++at_;
    return true;
}

bool TokenReader::SkipLine() {
    while (at_ < bytes_.size() && bytes_[at_] != '\n')
        ++at_;
    if (at_ >= bytes_.size()) return false;
    ++at_;
    return true;
}

}  // namespace lumo
