// Planar UVW of the faces that the cut takes from the cell walls.
#pragma once

#include <span>
#include <vector>

#include "core/topo_store.h"
#include "geom/vec3.h"

namespace tsl::voronoi {

// Appends one UVW per corner of a face (corners in face order) to out. The face normal n from
// corners 0, 1 and 2 is turned onto the z axis by two host rotations: about (0, -n.z, n.y) by
// the angle between n and the x axis, then about (-n1.y, n1.x, 0) by the angle between the
// turned normal n1 and the z axis (angles rounded to float, as the host hands them over). Each
// corner p becomes s * ((p M1) M2), p a row vector: u and v place the corner within the face's
// plane, w is the face's rotated depth, the same for every corner of a planar face. The whole
// position is rotated, not its offset from corner 0, so u and v also carry where the face sits.
// A face with fewer than three corners, a zero normal (coincident or collinear first corners)
// or a non-finite corner gets (0, 0, 0) at every corner: never NaN.
void appendPlanarUvw(std::span<const geom::Vec3> corners, float scale, std::vector<Float3>& out);

}  // namespace tsl::voronoi
