// Placing a mesh: a uniform scale, rotations about x, then y, then z (degrees), then a
// translation, all about the mesh's own origin.
#pragma once

#include <array>

#include "geom/vec3.h"

namespace cli {

struct Placement {
  std::array<double, 3> move{0.0, 0.0, 0.0};
  std::array<double, 3> rotateDegrees{0.0, 0.0, 0.0};
  double scale = 1.0;

  bool isIdentity() const;
  // p scaled, turned about x, y and z in that order, then moved.
  geom::Vec3 apply(const geom::Vec3& p) const;
};

}  // namespace cli
