#include "controls/edits/kc_graphics.h"

#include <cmath>

#include "controls/edits/unit_starts.h"

namespace kv::edits::KcGraphics {

namespace {
UnitStarts g_starts;
Matrix3 g_identity{};
GammaTable g_gamma{};
} // namespace

GammaTable BuildGammaTable(double gamma) {
  GammaTable t{};
  for (int i = 0; i < 256; ++i)
    // nearbyint rounds in the default mode, to nearest with halves to even.
    t[static_cast<size_t>(i)] = static_cast<uint8_t>(std::nearbyint(255.0 * std::pow(i / 255.0, gamma)));
  return t;
}

const Matrix3 &IdentityMatrix() {
  return g_identity;
}
const GammaTable &Gamma() {
  return g_gamma;
}

void Start() {
  if (!g_starts.Enter()) return;
  g_identity = {{{1.0L, 0.0L, 0.0L}, {0.0L, 1.0L, 0.0L}, {0.0L, 0.0L, 1.0L}}};
  g_gamma = BuildGammaTable(0.7);
}

void End() {
  g_starts.Leave();
}

int Starts() {
  return g_starts.Count();
}

} // namespace kv::edits::KcGraphics
