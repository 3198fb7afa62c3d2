// The triple product (u x v) . d in double, with a bound on its rounding error, for signs that
// are trusted only where they are certain.
#pragma once

#include <cmath>

#include "geom/vec3.h"

namespace geom::csg {

// A computed value and a bound on its rounding error.
struct Triple {
  double value, bound;
};

// u x v, with per component the sum of the sizes of its two products. Kept apart from the
// dot product so that one cross product is dotted with several d.
struct Cross {
  double n[3], magnitude[3];
};

inline Cross crossOf(const Vec3& u, const Vec3& v) {
  const double p1 = u.y * v.z, p2 = u.z * v.y, p3 = u.z * v.x, p4 = u.x * v.z, p5 = u.x * v.y,
               p6 = u.y * v.x;
  return {{p1 - p2, p3 - p4, p5 - p6},
          {std::fabs(p1) + std::fabs(p2), std::fabs(p3) + std::fabs(p4),
           std::fabs(p5) + std::fabs(p6)}};
}

// (u x v) . d where u, v and d are exact or differences of doubles: each difference, product
// and sum rounds once, so the error is below 8 units of roundoff times the same sum over
// absolute values; the bound is a dozen times that.
inline Triple dotted(const Cross& c, const Vec3& d) {
  return {c.n[0] * d.x + c.n[1] * d.y + c.n[2] * d.z,
          1e-14 * (c.magnitude[0] * std::fabs(d.x) + c.magnitude[1] * std::fabs(d.y) +
                   c.magnitude[2] * std::fabs(d.z))};
}

inline Triple triple(const Vec3& u, const Vec3& v, const Vec3& d) {
  return dotted(crossOf(u, v), d);
}

// The sign of a value beyond its error bound, 0 where it is in doubt (also near underflow,
// where the bound itself is not to be trusted).
inline int certainSign(const Triple& t) {
  if (!(std::fabs(t.value) > t.bound) || !(std::fabs(t.value) > 1e-250)) return 0;
  return t.value > 0 ? 1 : -1;
}

}  // namespace geom::csg
