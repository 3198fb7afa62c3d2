// Where a consumer reads a Boolean result: the node publishes every vertex through its inverse
// rescale, rounded to float. The engine places result vertices on that grid before it checks
// the result, so what it checks is what the consumer gets.
#pragma once

#include "geom/vec3.h"

namespace geom::csg {

struct Grid {
  bool active = false;  // inactive: results are published in double, as computed
  Vec3 offset;          // published = working * scale + offset, then rounded to float
  double scale = 1.0;

  // The point a consumer will read for v, in working coordinates (v itself when inactive).
  // Requires v finite; a coordinate beyond float's range rounds to infinity, as it would when
  // published.
  Vec3 round(const Vec3& v) const;

  // The largest step of the grid at v over the three axes, in working units; 0 when inactive.
  double spacing(const Vec3& v) const;
};

}  // namespace geom::csg
