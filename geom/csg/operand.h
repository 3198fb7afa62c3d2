// An operand of the Boolean engine, checked and triangulated.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geom/box_tree.h"
#include "geom/polyhedron.h"

namespace geom::csg {

// Triangle t has corners tris[t] (vertex indices of the mesh) in the face's winding; its
// half-edge k runs from corner k to corner k+1 and has the index 3t + k.
struct TriangulatedOperand {
  const Polyhedron* mesh = nullptr;
  std::string name;  // "operand A" / "operand B", for messages
  std::vector<std::array<int, 3>> tris;
  std::vector<std::uint32_t> triFace;       // source face of each triangle
  std::vector<std::uint32_t> faceFirstTri;  // triangles of face f: [first[f], first[f+1])
  std::vector<int> opposite;                // half-edge paired with each half-edge (-1 at
                                            // a border)
                                            // (released once CGAL has its mesh)
  std::vector<int> triIsland;               // island of each triangle
  std::vector<double> islandVolume;         // signed volume of each island
  std::size_t borderEdges = 0;              // edges of one face only
  Vec3 lo, hi;                              // bounds of the used vertices
  // Per vertex, where the solid touches itself along an edge or at a point and the vertices
  // there were given one copy per sheet: the vertex it copies (itself otherwise). Empty when
  // no vertex was split. Such sheets may meet in those vertices and nowhere else.
  std::vector<int> sameVertex;

  std::size_t triCount = 0;  // stays when tris is released
  // The box hierarchy of tris, built by the first stage that needs it (see trianglesTree).
  mutable std::shared_ptr<const BoxTree> tree;

  std::size_t islandCount() const { return islandVolume.size(); }
  // Has a border: the solid it stands for is where its generalized winding number is above
  // one half, not where its surface winds around a point.
  bool open() const { return borderEdges > 0; }
  bool empty() const { return triCount == 0; }
};

// Checks everything about the operand that needs no spatial search and triangulates its faces.
// Throws geom::Error("<name> ...") for: a non-finite coordinate; a face with fewer than three
// vertices, a repeated vertex, a zero-length edge, no area, or that is not a simple polygon in
// its projection; an edge of more than two faces; an edge used twice in one direction; a vertex
// where separate fans of faces meet. Border edges are allowed (counted in borderEdges; their
// half-edges have no opposite, -1).
TriangulatedOperand prepareOperand(const Polyhedron& mesh, const std::string& name);

// The box hierarchy over op's triangles, built on first use and kept with op, so that the
// self-intersection test and the search for what the other operand comes near share it.
// Requires op's triangles present (not yet released by the corefinement).
const BoxTree& trianglesTree(const TriangulatedOperand& op);

// Which islands of op bound the solid it stands for (the points it winds around at least
// once): an outward island inside another outward island, or an inward island inside more than
// one, bounds nothing of it and is marked to drop (per island, 1: drop). Requires op without
// self-intersection. Throws geom::Error("<name> ...") when op is wound inwards: a single island
// of negative volume, or an inward island that is not inside an outward island; with
// dropInward such an island is marked to drop instead (the points it winds around -1 times
// are not in the solid).
std::vector<std::uint8_t> redundantIslands(const TriangulatedOperand& op, bool dropInward = false);

}  // namespace geom::csg
