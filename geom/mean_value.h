// Mean-value coordinates (Hormann and Floater) of a point with respect to a polygon.
#pragma once

#include <span>
#include <vector>

#include "geom/vec3.h"

namespace geom {

// Fills weights (one per corner, summing to 1) such that the weighted corners reproduce p when
// p lies in the polygon's plane. The polygon is projected as PolygonProjection says; p at a
// corner gives that corner's weight 1, p on an edge interpolates linearly along it, and any
// other point (inside or outside, convex or not) gets mean-value coordinates, which reproduce
// every linear function of position exactly. A polygon without area yields the weights of the
// nearest corner.
void meanValueWeights(std::span<const Vec3> polygon, const Vec3& p, std::vector<double>& weights);

}  // namespace geom
