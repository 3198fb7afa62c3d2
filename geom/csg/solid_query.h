// Whether a point is inside a closed triangle surface, by exact ray casting.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "geom/vec3.h"

namespace geom::csg {

// Point-in-solid queries against a closed triangle surface.
class SolidQuery {
 public:
  static constexpr int kOnSurface = -1000000;

  // The surface of triangles tris over points; island (one per triangle, or null) serves
  // skipIsland; name is used in messages. The arrays must outlive the query.
  SolidQuery(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
             const std::vector<int>* island, const std::string& name);
  ~SolidQuery();
  SolidQuery(const SolidQuery&) = delete;
  SolidQuery& operator=(const SolidQuery&) = delete;

  // True when some point of the surface lies within distance of p.
  bool within(const Vec3& p, double distance) const;

  // Winding number of the surface around p, ignoring the triangles of island skipIsland, or
  // kOnSurface when p lies on the surface. Rays that graze an edge or vertex are re-cast in
  // other directions; throws geom::Error if every direction grazes.
  int winding(const Vec3& p, int skipIsland = -1) const;

  // Winding number of the surface just in front of triangle (on the side its normal points
  // to), at p, a point inside it away from its edges: rays leave p through that side, and the
  // triangle itself is not counted. kOnSurface when p lies on another triangle too (two sheets
  // on each other); throws geom::Error if every direction grazes.
  int windingInFront(const Vec3& p, std::size_t triangle) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace geom::csg
