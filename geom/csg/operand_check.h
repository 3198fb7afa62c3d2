// The operand check of a Boolean result around the cut: what validation and the
// self-intersection test would make of its faces if it were fed back as an operand.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geom/csg/pending.h"

namespace geom::csg {

// What a result would be as an operand, around the cut.
struct Verdict {
  std::vector<std::uint32_t> bad;  // faces to snap harder
  // Faces whose triangles lie on a triangle of another face wound the other way (two sheets
  // of surface laid onto each other by the snapping, partly): per such face, its triangles
  // and which of them that cancels.
  std::vector<std::uint32_t> twinFaces;
  std::vector<std::array<int, 3>> tris;
  std::vector<std::uint32_t> triFace;
  std::vector<std::uint8_t> diagonals;  // per triangle: bit k when edge k is inside its face
  std::vector<std::uint8_t> cancelled;
};

// Judges the faces with an intersection point and the faces around those: each is triangulated
// as an operand face would be (geom::Triangulator over its corners in order), and the
// triangles are tested as operand validation and the self-intersection test would. Faces
// elsewhere are operand faces as they were. Surfaces that come within rounding of each other
// without sharing a vertex are not looked for.
Verdict judge(const Keys& keys, const Pending& p);

// Replaces each face of v.twinFaces by its triangles that are not cancelled. Removing two
// triangles over the same corners wound opposite ways keeps the surface closed. Requires v to
// be judge's verdict on p.
void cancelTwinTriangles(const Verdict& v, Pending& p);

}  // namespace geom::csg
