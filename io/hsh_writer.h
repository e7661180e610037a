// Writing HSH reflectance files (".rti"), for tests and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "io/hsh_file.h"

namespace lumo {

// The file's bytes for `hsh` (its sizes, terms, scales, biases and bytes as
// HshFile holds them), with "#HSH1.2" and one comment line first. `terms`
// and `colours` may name counts the reader refuses (for its tests); then
// `hsh.bytes` must hold width * height * colours * terms bytes.
Status EncodeHsh(const HshFile& hsh, std::vector<uint8_t>& bytes, int colours = 3);

// EncodeHsh, written to `path` ("[WriteHsh]: cannot write %s\n").
Status WriteHshFile(const std::string& path, const HshFile& hsh);

}  // namespace lumo
