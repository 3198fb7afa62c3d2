// Faces of a Boolean result over its vertices before they are numbered, shared by the stages
// of assembly (collecting the kept faces, snapping, the operand check).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "geom/csg.h"
#include "geom/vec3.h"

namespace geom::csg {

// Key of the directed vertex pair (u, v), u in the high half.
inline std::uint64_t directedKey(int u, int v) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(u)) << 32) |
         static_cast<std::uint32_t>(v);
}

// Result vertices before numbering: intersection nodes first, then each operand's own
// vertices that are not nodes.
struct Keys {
  std::size_t nodes = 0;
  std::size_t base[2] = {0, 0};
  std::size_t count = 0;
  std::vector<int> ofVertex[2];    // per corefined vertex
  std::vector<int> ofOriginal[2];  // per operand vertex (-1 when unused)
  std::vector<int> original[2];    // per key: the operand vertex it is, or -1
  std::vector<Vec3> position;      // per key
};

// Result faces as corner lists over keys: face f uses corners [offsets[f], offsets[f+1]).
struct Pending {
  std::vector<int> corners;  // keys
  std::vector<std::uint32_t> offsets{0};
  std::vector<FaceOrigin> origins;

  void add(std::span<const int> keys, FaceOrigin o) {
    corners.insert(corners.end(), keys.begin(), keys.end());
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    origins.push_back(o);
  }
};

// Whether face f of p is a piece made by the cut rather than a source face as it was: one of
// its corners is an intersection point, or a vertex of the other operand (an intersection point
// welded into it).
inline bool isCutFace(const Keys& keys, const Pending& p, std::size_t f) {
  const std::vector<int>& own = keys.original[p.origins[f].operand];
  for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) {
    const int v = p.corners[i];
    if (static_cast<std::size_t>(v) < keys.nodes || own[v] < 0) return true;
  }
  return false;
}

}  // namespace geom::csg
