// What a rigid-body solver needs of a solid piece: volume, centroid, inertia, bounds.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "geom/vec3.h"

namespace cli {

struct MassProperties {
  double volume = 0.0;  // signed: below zero for a surface wound inwards
  // Of the volume; the centre of the bounds where the volume is too small to place it (an open
  // or flat piece).
  geom::Vec3 centroid;
  // About the centroid at unit density, row by row: the moments of inertia on the diagonal,
  // the products of inertia (negated) off it. Symmetric.
  std::array<std::array<double, 3>, 3> inertia{};
  geom::Vec3 lo, hi;  // bounds of the faces' vertices
};

// The properties of the solid that faces (point indices in winding order, outward) bound, by the
// divergence theorem over each face's fan, in double. Requires every index to be valid; faces
// may be empty (all zero then).
MassProperties massProperties(std::span<const std::array<float, 3>> points,
                              std::span<const std::vector<int>> faces,
                              std::span<const std::size_t> which);

}  // namespace cli
