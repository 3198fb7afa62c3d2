// Surfaces that pass more than once through an edge or a vertex (solids that touch there, or
// sheets that cross there), split into sheets that each pass once. An edge of more than two
// faces pairs each face with the next face around the edge on the side of the solid it bounds,
// as the islands of a mesh are made; a vertex then gets one copy per fan of faces around it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "geom/vec3.h"

namespace geom::csg {

enum class SplitAt {
  Crossings,  // only the ends of edges whose faces do not alternate in direction around them
              // (rounded onto a grid, two sheets came to cross along the edge)
  Everywhere  // every vertex where fans of faces meet
};

struct Sheets {
  std::vector<int> corners;   // the corners, copies in place of the vertex in all but one fan
  std::vector<int> sourceOf;  // per copy (vertex points.size() + k): the vertex it copies
};

// Splits the polygons (face f: corners [offsets[f], offsets[f+1]) over points) into sheets.
// Where rounding made sheets cross along an edge, a face is paired with a face next to it around
// the edge that runs the other way. A border edge stays one, and of an odd number of faces at
// an edge (an open sheet that ends on a solid), the one no other face pairs with becomes a
// border. Returns nothing when the polygons are not a consistently oriented surface whose shared
// edges can be paired; no copies when nothing is to be split.
std::optional<Sheets> splitSheets(std::span<const Vec3> points,
                                  std::span<const std::uint32_t> offsets,
                                  std::span<const int> corners, SplitAt where);

}  // namespace geom::csg
