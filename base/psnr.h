// Peak signal-to-noise ratio of 8-bit images: how closely one picture
// reproduces another, in decibels (higher is closer).
#pragma once

#include <cstdint>
#include <span>

namespace lumo {

// The highest figure reported: identical pictures (no error) give it.
inline constexpr double kPsnrCap = 99.0;

// Sum of squared differences of two blocks of bytes, over the shorter one.
double SquaredError(std::span<const uint8_t> a, std::span<const uint8_t> b);

// 10 log10(255^2 / mse), at most kPsnrCap (a zero error gives kPsnrCap).
double PsnrFromMse(double mse);

// PSNR of two equally long byte blocks; 0 when their sizes differ or they are
// empty.
double Psnr(std::span<const uint8_t> a, std::span<const uint8_t> b);

}  // namespace lumo
