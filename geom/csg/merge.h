// Merging the kept triangles of one cut source face back into simple polygons.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "geom/csg/corefine.h"

namespace geom::csg {

// Reusable scratch for merging groups of faces of one corefined mesh.
class FaceMerger {
 public:
  // blocked[h] marks half-edges that must stay polygon edges even between two faces of a group
  // (the other operand's kept faces attach there).
  FaceMerger(const CorefinedMesh& mesh, const std::vector<std::uint8_t>& blocked);

  // Grows simple polygons (disks whose boundary visits each vertex once) over the group's faces:
  // a face joins a polygon across one edge when its third vertex is not yet on the boundary, or
  // across two edges that meet at a boundary vertex, which then becomes interior. Appends each
  // polygon's boundary, in the mesh's winding, to loops, and its end offset to ends.
  void merge(std::span<const int> group, std::vector<int>& loops, std::vector<std::uint32_t>& ends);

 private:
  bool tryAdd(int f, int region);
  void emitLoop(std::span<const int> members, int region, std::vector<int>& loops,
                std::vector<std::uint32_t>& ends);

  const CorefinedMesh& m_;
  const std::vector<std::uint8_t>& blocked_;
  std::vector<int> groupOf_;     // per face: stamp of the group it belongs to
  std::vector<int> regionOf_;    // per face: region within the current group
  std::vector<int> boundaryOf_;  // per vertex: region whose boundary it is on
  std::vector<int> next_;        // per vertex: next boundary vertex while walking a loop
  int stamp_ = 0;
  int regionBase_ = 0;
  std::vector<int> queue_;
  std::vector<int> refused_;
};

}  // namespace geom::csg
