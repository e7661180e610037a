// A fresh directory per test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lumo::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // path() / name, as a string.
    std::string File(std::string_view name) const;
    // Writes `contents` to path() / name and returns the file's path.
    std::string Write(std::string_view name, std::string_view contents) const;

  private:
    std::filesystem::path path_;
};

// The whole contents of a file (empty if it cannot be read).
std::string ReadFileBytes(const std::string& path);

}  // namespace lumo::testing
