#pragma once
// KcGraphics: a 3 x 3 identity matrix and the gamma table for gamma 0.7.

#include <array>
#include <cstdint>

namespace kv::edits::KcGraphics {

using Matrix3 = std::array<std::array<long double, 3>, 3>;
using GammaTable = std::array<uint8_t, 256>;

// Entry i = 255 * (i / 255) ^ gamma, rounded to the nearest integer, halves to even.
GammaTable BuildGammaTable(double gamma);

// Both are made at start (zero before).
const Matrix3 &IdentityMatrix();
const GammaTable &Gamma();

void Start();
void End();
int Starts();

} // namespace kv::edits::KcGraphics
