#include "cli/palette.h"

#include <cmath>

#include "cli/name_table.h"

namespace cli {
namespace {

Rgb fromHsv(double h, double s, double v) {
  h = (h - std::floor(h)) * 6.0;
  const int sector = static_cast<int>(h) % 6;
  const double f = h - std::floor(h);
  const auto p = static_cast<float>(v * (1 - s)), q = static_cast<float>(v * (1 - s * f)),
             t = static_cast<float>(v * (1 - s * (1 - f))), w = static_cast<float>(v);
  switch (sector) {
    case 0:
      return {w, t, p};
    case 1:
      return {q, w, p};
    case 2:
      return {p, w, t};
    case 3:
      return {p, q, w};
    case 4:
      return {t, p, w};
  }
  return {w, p, q};
}

constexpr double kGolden = 0.6180339887498949;

}  // namespace

Rgb identifierColour(std::int32_t id) {
  if (id == kCutFaceId) return {0.93f, 0.86f, 0.72f};
  return fromHsv(0.58 + kGolden * id, 0.45, 0.8);
}

Rgb pieceColour(int piece) {
  return fromHsv(0.02 + kGolden * piece, 0.55, 0.85);
}

Rgb lighter(const Rgb& c, float amount) {
  return {c[0] + (1 - c[0]) * amount, c[1] + (1 - c[1]) * amount, c[2] + (1 - c[2]) * amount};
}

}  // namespace cli
