// A certificate that a patch of an operand's triangles does not intersect itself, cheap enough
// to spare the pairwise test of most of a surface.
//
// Seen along a direction that every triangle of the patch faces, the number of triangles over a
// point of the plane across it is the number of times the patch's boundary winds around that
// point. Where the boundary is a set of simple loops that do not meet, exactly one of them turning
// counter-clockwise (the others are holes), that number is at most one: the patch projects
// one-to-one, and two of its triangles meet only in the vertices and edges they share.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "geom/csg/operand.h"

namespace geom::csg {

class PatchCertificate {
 public:
  // Requires op's triangles and their pairing (opposite) present; keeps a reference to op.
  explicit PatchCertificate(const TriangulatedOperand& op);

  // True where it is certain that no two of the triangles (indices into op.tris, each once)
  // meet other than in the vertices and edges they share, except pairs with a triangle it puts
  // in rest (positions in patch; appended to): the triangles around places where the patch
  // pinches, and the parts of a patch in several parts but its largest. False where it is not
  // certain: the triangles face no common direction (of the axes and the diagonals of the unit
  // cube), the loops of the boundary meet or wind the wrong way, a quarter of the triangles
  // would be left out, or rounding leaves a sign in doubt. Also false for fewer than two
  // triangles.
  bool embedded(std::span<const std::uint32_t> patch, std::vector<std::uint32_t>& rest);

 private:
  std::uint32_t stamp();
  bool member(int t) const;  // in the patch, and not left out
  void leaveOut(std::size_t p, std::vector<std::uint32_t>& rest);
  // Collects the boundary of the patch's triangles not left out: next_ and leaves_ (marked
  // edgesFrom_) for the vertices with an edge out, pinches_ for those with a second one.
  // Returns the number of edges.
  std::size_t boundary(std::span<const std::uint32_t> patch);
  // Follows the boundary into loops (loops_, ends at loopEnds_); false where one does not close.
  bool traceLoops(std::span<const std::uint32_t> patch);
  // Leaves out every part but the largest; false where the patch is one part.
  bool keepLargestPart(std::span<const std::uint32_t> patch, std::vector<std::uint32_t>& rest);
  // Whether, seen along direction d, the loops certainly do not meet (but where consecutive
  // edges join) and exactly one turns as the triangles do (facing: 1 where they face +d, -1
  // where they face -d).
  bool simpleSeenAlong(int d, int facing);

  const TriangulatedOperand& op_;
  // Per triangle, the directions it certainly faces: bit 2i for +direction i, 2i + 1 for -i.
  std::vector<std::uint32_t> facing_;
  // Marks by number: a triangle is in the patch when inPatch_ holds patch_, a vertex has a
  // boundary edge out when leaves_ holds edgesFrom_.
  std::uint32_t stamp_ = 0, patch_ = 0, edgesFrom_ = 0;
  std::vector<std::uint32_t> inPatch_, position_;  // per triangle
  std::vector<std::uint32_t> leaves_;              // per vertex
  std::vector<int> next_;                          // per vertex: its boundary edge's end
  std::vector<int> pinches_;
  std::vector<std::uint8_t> kept_;  // per position in the patch
  std::vector<int> part_;
  std::vector<std::uint32_t> todo_;
  std::vector<int> loops_;                     // the boundary's vertices, loop after loop
  std::vector<std::size_t> loopEnds_;          // end of each loop in loops_
  std::vector<std::size_t> after_;             // per position in loops_: the next in its loop
  std::vector<std::array<double, 2>> seen_;    // loops_ in the plane across the direction
  std::vector<std::uint32_t> order_, active_;  // the sweep's edges
};

}  // namespace geom::csg
