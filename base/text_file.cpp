#include "base/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/str_printf.h"

namespace lumo {

TextFileError ReadTextFile(const std::string& path, size_t cap, std::string& text,
                           std::string& why) {
    text.clear();
    why.clear();
    // Not blocking: opening a FIFO for reading would otherwise wait for a
    // writer. The kind of file is then asked of the open file itself.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) {
        why = std::strerror(errno);
        // A socket cannot be opened at all: still named for what it is.
        if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            why = "not a regular file";
            return TextFileError::kNotRegular;
        }
        return TextFileError::kOpen;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        why = "not a regular file";
        return TextFileError::kNotRegular;
    }
    const std::string too_large = StrPrintf("larger than the limit of %zu bytes", cap);
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > cap) {
        close(fd);
        why = too_large;
        return TextFileError::kTooLarge;
    }
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    for (;;) {
        // One byte more than the cap is asked for, to see a file that grew.
        if (got == text.size()) text.resize(std::min(cap + 1, got + 65536));
        const ssize_t n = read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            close(fd);
            text.clear();
            return TextFileError::kRead;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
        if (got > cap) {
            close(fd);
            text.clear();
            why = too_large;
            return TextFileError::kTooLarge;
        }
    }
    close(fd);
    text.resize(got);
    return TextFileError::kNone;
}

}  // namespace lumo
