// Reader of the scene description (.lid) file.
//
// The file is text: lines of keywords with their arguments, blocks of corner
// lines and an enable mask. Numbers are read leniently (the leading number of a
// token counts; a token that does not begin with one reads as 0). Unknown
// words, empty lines and lines whose first token begins with "#" are skipped.
#pragma once

#include <cstdio>

#include "base/status.h"
#include "scene/lid_info.h"

namespace lumo {

// Reads a scene description from `stream` (positioned at its start) into
// `info`, which the caller has freshly constructed or reset. Returns a failure
// with the exact message for the errors the format defines.
Status ReadLidStream(std::FILE* stream, LidInfo& info);

// Opens `path` and reads it with ReadLidStream. A null path fails with
// "[ReadLidFile]: invalid input parameter\n", a file that cannot be opened with
// "[ReadLidFile]: cannot open lidfile\n".
Status ReadLidFile(const char* path, LidInfo& info);

// As ReadLidFile; every failure ends the program with its message and status 1.
void ReadLidFileOrExit(const char* path, LidInfo& info);

}  // namespace lumo
