// Convex hull of a point set, for closed convex solids that must stay valid after their corners
// were rounded (the Voronoi node's cells through float).
#pragma once

#include <array>
#include <span>
#include <vector>

#include "geom/vec3.h"

namespace geom {

// The convex hull of `points` (any count, duplicates allowed), decided with exact predicates:
// fills `corners` with its extreme points (copied exactly from the input) and `triangles` with
// index triples into `corners`, wound counter-clockwise seen from outside, every one with
// non-zero area. Returns false, with both outputs empty, when the points span no volume (fewer
// than four distinct points, or all on one plane). Throws std::bad_alloc only.
bool convexHull(std::span<const Vec3> points, std::vector<Vec3>& corners,
                std::vector<std::array<int, 3>>& triangles);

}  // namespace geom
