// Indexed polygon mesh with poly-island (manifold) analysis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "geom/vec3.h"

namespace geom {

// Builder input: points and a face-index list in which every face is its vertex count n
// followed by n point indices.
struct PolyhedronData {
  std::vector<Vec3> points;
  std::vector<int> faceIndices;
  std::size_t faceCount = 0;

  // Appends one face over the given point indices (no range check here; construction checks).
  void addFace(std::span<const int> indices);
};

// Axis-aligned box as centre and half size.
struct AABB {
  Vec3 pos;
  Vec3 extent;
};

// A polygon mesh whose vertex i is point i and whose face j is the j-th face given. Every face
// carries the id of its island (manifold; found when first asked for): the connected components of
// faces through shared edges (a shared vertex does not connect), numbered in the order of their
// lowest face. An edge pairs two faces when it is used once in each direction; when more than
// two faces use it, each face pairs with its angular neighbour of opposite direction, so solids
// touching along an edge stay separate islands. An island is closed when all its edges are
// paired, and negative when it is closed with a signed volume below zero.
class Polyhedron {
 public:
  Polyhedron();
  Polyhedron(const Polyhedron& other);
  Polyhedron(Polyhedron&& other) noexcept;
  Polyhedron& operator=(const Polyhedron& other);
  Polyhedron& operator=(Polyhedron&& other) noexcept;
  ~Polyhedron() = default;

  // Builds from a face-index list (n, i0 .. i(n-1) per face) holding face_count faces.
  // Throws geom::Error naming the face and the value when an index is negative or not below
  // points.size(), or when the list is shorter or longer than face_count faces.
  Polyhedron(std::vector<Vec3> points, std::size_t face_count, std::span<const int> face_indices);

  // Builds from compressed rows: face f uses corners [offsets[f], offsets[f+1]) of corners.
  // Requires offsets to start at 0 and be non-decreasing with offsets.back() == corners.size();
  // throws geom::Error otherwise or on an index out of range.
  Polyhedron(std::vector<Vec3> points, std::vector<std::uint32_t> offsets,
             std::vector<int> corners);

  static Polyhedron fromData(const PolyhedronData& data) {
    return Polyhedron(data.points, data.faceCount, data.faceIndices);
  }

  // Process-unique identity, new for every constructed or copied mesh and carried by a move.
  // Attribute maps key faces by it, so a freed mesh's address is never mistaken for a new one.
  std::uint64_t id() const { return id_; }

  std::size_t vertexCount() const { return vertices_.size(); }
  const std::vector<Vec3>& vertices() const { return vertices_; }
  std::size_t faceCount() const { return offsets_.empty() ? 0 : offsets_.size() - 1; }
  // Total number of face corners (sum of the face sizes).
  std::size_t cornerCount() const { return corners_.size(); }
  // The vertex indices of face f in winding order. Requires f < faceCount().
  std::span<const int> face(std::size_t f) const {
    return {corners_.data() + offsets_[f], corners_.data() + offsets_[f + 1]};
  }
  // Offset of face f's first corner among all corners (face order, then corner order).
  std::uint32_t firstCorner(std::size_t f) const { return offsets_[f]; }
  // All corners in face order, and where each face's begin (faceCount() + 1 entries, or none).
  const std::vector<int>& corners() const { return corners_; }
  const std::vector<std::uint32_t>& offsets() const { return offsets_; }

  // Island of face f, in [0, manifoldCount()). Requires f < faceCount().
  int manifold_id(std::size_t f) const { return islands().manifoldId[f]; }
  std::size_t manifoldCount() const { return islands().closed.size(); }
  const std::vector<bool>& manifold_is_closed() const { return islands().closed; }
  const std::vector<bool>& manifold_is_negative() const { return islands().negative; }

  // Box over all vertices, used or not; zero centre and extent when there are none.
  AABB aabb() const;

  // A new mesh of the given faces in the given order over the vertices they use, numbered in
  // order of first use. Requires every entry < faceCount().
  Polyhedron subMesh(std::span<const std::size_t> faces) const;

  // Moves every vertex through fn and recomputes the islands (a mirroring map flips negativity).
  void transform(const std::function<Vec3(const Vec3&)>& fn);

  // Moves every vertex through fn, which must be a similarity that keeps orientation (a move and
  // one positive scale, as geom::Rescale is): the islands, which are closed and which wound
  // inwards stay what they were, and are not computed again where they were known.
  void moveSimilar(const std::function<Vec3(const Vec3&)>& fn);

  // Canonical order: vertices sorted by (x, y, z), unused ones included (equal positions keep
  // their relative order); each face rotated to start at its lowest vertex index with its
  // winding kept; faces sorted by their index sequences; islands recomputed.
  void canonicalize();

 private:
  struct Islands {
    bool known = false;
    std::vector<int> manifoldId;
    std::vector<bool> closed;
    std::vector<bool> negative;
  };
  // The islands, computed on first use: many meshes (an engine's operands, its intermediate
  // meshes) never need them.
  const Islands& islands() const {
    if (!islands_.known) computeManifolds();
    return islands_;
  }
  void computeManifolds() const;
  void forgetIslands() { islands_ = {}; }

  std::uint64_t id_;
  std::vector<Vec3> vertices_;
  std::vector<std::uint32_t> offsets_;
  std::vector<int> corners_;
  mutable Islands islands_;
};

}  // namespace geom
