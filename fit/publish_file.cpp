#include "fit/publish_file.h"

#include <cstdio>
#include <filesystem>

#include "base/file_ptr.h"
#include "base/str_printf.h"

namespace lumo {

Status PublishFile(const std::string& path, const char* who,
                   const std::function<Status(const std::string& tmp)>& write) {
    // The extension stays last, for writers that choose the format by it.
    const std::filesystem::path p(path);
    const std::string tmp =
        (p.parent_path() / (p.stem().string() + ".part" + p.extension().string()))
            .string();
    Status s = write(tmp);
    std::error_code ec;
    if (s.ok()) {
        std::filesystem::rename(tmp, path, ec);
        if (!ec) return Status::Ok();
        s = Status::Error(StrPrintf("[%s]: cannot write %s\n", who, path.c_str()));
    }
    std::filesystem::remove(tmp, ec);
    return s;
}

Status PublishText(const std::string& path, const char* who, const std::string& text) {
    return PublishFile(path, who, [&](const std::string& tmp) {
        FilePtr f = OpenFile(tmp.c_str(), "wb");
        const bool ok =
            f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
        if (!f || std::fclose(f.release()) != 0 || !ok)
            return Status::Error(StrPrintf("[%s]: cannot write %s\n", who, path.c_str()));
        return Status::Ok();
    });
}

}  // namespace lumo
