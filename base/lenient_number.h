// Lenient number reading, as the scene description and the widget commands
// read their arguments: the leading number of the text counts, anything after
// it is ignored, and text that does not begin with a number reads as 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace lumo {

// The leading optional sign and decimal digits ("12abc" -> 12, "4.5" -> 4,
// "-7" -> -7, "abc" -> 0, "" -> 0). Values beyond the int32 range saturate.
int32_t LenientInt(std::string_view text);

// The leading decimal number: optional sign, digits with an optional fraction,
// and an optional exponent ("2.5e1x" -> 25, ".5" -> 0.5, "1e" -> 1,
// "abc" -> 0). Only decimal notation counts: "inf", "nan" and hexadecimal
// read as 0 (or as their leading decimal digits).
float LenientFloat(std::string_view text);

}  // namespace lumo
