// Exact geometric predicates on double coordinates (filtered, with an exact fallback).
#pragma once

#include "geom/vec3.h"

namespace geom {

// Sign (-1, 0, 1) of the turn a -> b -> c in the plane: positive when counter-clockwise.
int orient2d(double ax, double ay, double bx, double by, double cx, double cy);

// Sign of det(b - a, c - a, d - a): positive when d lies on the side the normal
// (b - a) x (c - a) points to, zero when the four points are coplanar.
int orient3d(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d);

// True when the three points lie on one line (coincident points included).
bool collinear(const Vec3& a, const Vec3& b, const Vec3& c);

}  // namespace geom
