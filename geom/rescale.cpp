#include "geom/rescale.h"

#include <algorithm>
#include <cmath>

namespace geom {
namespace {

double offsetFor(double lo, double hi) {
  if (lo < 0.0 && hi > 0.0) return 0.0;
  return lo >= 0.0 ? lo : hi;
}

}  // namespace

Rescale::Rescale(double minx, double miny, double minz, double maxx, double maxy, double maxz)
    : d_{offsetFor(minx, maxx), offsetFor(miny, maxy), offsetFor(minz, maxz)} {
  const double m =
      std::max({std::fabs(minx - d_.x), std::fabs(maxx - d_.x), std::fabs(miny - d_.y),
                std::fabs(maxy - d_.y), std::fabs(minz - d_.z), std::fabs(maxz - d_.z)});
  if (!(m > 0.0) || !std::isfinite(m)) {
    s_ = 1.0;
    return;
  }
  int e = 0;
  const double mant = std::frexp(m, &e);  // m = mant * 2^e, mant in [0.5, 1)
  // An exact power of two already sits at the top of (0.5, 1] one exponent lower.
  s_ = std::ldexp(1.0, mant == 0.5 ? e - 1 : e);
}

}  // namespace geom
