// CGAL's filtered kernel as the engine's CGAL translation units use it. Include it only from
// those units: it brings in CGAL.
#pragma once

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include "geom/vec3.h"

namespace geom::cgal {

using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = K::Point_3;

inline Point pt(const Vec3& v) {
  return Point(v.x, v.y, v.z);
}

inline int sign(CGAL::Orientation o) {
  return o == CGAL::POSITIVE ? 1 : (o == CGAL::NEGATIVE ? -1 : 0);
}

}  // namespace geom::cgal
