// The corefinement's intersection points as exact constructions, built only when a predicate
// asks for one.
#include "geom/csg/exact_points.h"

#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/intersections.h>

#include <optional>

#include "geom/cgal_kernel.h"
#include "geom/predicates.h"

namespace geom::csg {

namespace {
using EK = CGAL::Exact_predicates_exact_constructions_kernel;
bool among(int v, const std::array<int, 3>& t) {
  return v == t[0] || v == t[1] || v == t[2];
}
}  // namespace

struct ExactPoints::Impl {
  const Corefinement* cf;
  const Polyhedron* meshes[2];
  mutable std::vector<std::optional<EK::Point_3>> nodes;

  EK::Point_3 input(int mesh, int v) const {
    const Vec3& p = meshes[mesh]->vertices()[v];
    return EK::Point_3(p.x, p.y, p.z);
  }

  EK::Point_3 node(int id, const Vec3& rounded) const {
    std::optional<EK::Point_3>& slot = nodes[id];
    if (slot) return *slot;
    const NodeOrigin& o = cf->nodes[id];
    const int other = 1 - o.mesh;
    if (o.kind == NodeOrigin::VERTEX) {
      slot = input(o.mesh, o.a[0]);
    } else {
      const EK::Line_3 edge(input(o.mesh, o.a[0]), input(o.mesh, o.a[1]));
      if (o.kind == NodeOrigin::EDGE_FACE) {
        const EK::Plane_3 plane(input(other, o.b[0]), input(other, o.b[1]), input(other, o.b[2]));
        if (const auto hit = CGAL::intersection(edge, plane)) {
          if (const EK::Point_3* q = boost::get<EK::Point_3>(&*hit)) slot = *q;
        }
      } else {
        const EK::Line_3 second(input(other, o.b[0]), input(other, o.b[1]));
        if (const auto hit = CGAL::intersection(edge, second)) {
          if (const EK::Point_3* q = boost::get<EK::Point_3>(&*hit)) slot = *q;
        }
      }
      // Only a primitive CGAL itself found degenerate lands here; its rounding is the best left.
      if (!slot) slot = EK::Point_3(rounded.x, rounded.y, rounded.z);
    }
    return *slot;
  }

  const Vec3& point(int mesh, int v) const { return meshes[mesh]->vertices()[v]; }

  // Orientation of the input point v of `mesh` against triangle t of `tmesh`: exact, on
  // doubles.
  int orientInput(int tmesh, const std::array<int, 3>& t, int mesh, int v) const {
    return orient3d(point(tmesh, t[0]), point(tmesh, t[1]), point(tmesh, t[2]), point(mesh, v));
  }

  // The sign on input points, or 2 when they do not decide it.
  int sideOfNode(int tmesh, const std::array<int, 3>& t, const NodeOrigin& o) const {
    const int other = 1 - o.mesh;
    // On an edge of the triangle, or where an edge crosses the triangle itself.
    if (o.mesh == tmesh && among(o.a[0], t) && among(o.a[1], t)) return 0;
    if (o.kind == NodeOrigin::EDGE_FACE && other == tmesh && among(o.b[0], t) && among(o.b[1], t) &&
        among(o.b[2], t)) {
      return 0;
    }
    if (o.kind == NodeOrigin::EDGE_EDGE && other == tmesh && among(o.b[0], t) && among(o.b[1], t)) {
      return 0;
    }
    // A point of an edge whose ends are on one side.
    const int s0 = orientInput(tmesh, t, o.mesh, o.a[0]);
    if (s0 == orientInput(tmesh, t, o.mesh, o.a[1])) return s0;
    if (o.kind == NodeOrigin::EDGE_EDGE) {
      const int s1 = orientInput(tmesh, t, other, o.b[0]);
      if (s1 == orientInput(tmesh, t, other, o.b[1])) return s1;
    }
    return 2;
  }

  EK::Point_3 at(Ref r) const {
    const CorefinedMesh& m = cf->mesh[r.mesh];
    const int id = m.node[r.vertex];
    if (id >= 0) return node(id, m.points[r.vertex]);
    return input(r.mesh, m.original[r.vertex]);
  }
};

ExactPoints::ExactPoints(const Corefinement& cf, const Polyhedron& a, const Polyhedron& b)
    : impl_(std::make_unique<Impl>()) {
  impl_->cf = &cf;
  impl_->meshes[0] = &a;
  impl_->meshes[1] = &b;
  impl_->nodes.resize(cf.nodeCount);
}

ExactPoints::~ExactPoints() = default;

int ExactPoints::side(int mesh, int tri, Ref s) const {
  const Impl& x = *impl_;
  const std::array<int, 3>& t = x.cf->mesh[mesh].sourceTris[tri];
  const CorefinedMesh& m = x.cf->mesh[s.mesh];
  const int id = m.node[s.vertex];
  if (id < 0) return x.orientInput(mesh, t, s.mesh, m.original[s.vertex]);
  const NodeOrigin& o = x.cf->nodes[id];
  if (o.kind == NodeOrigin::VERTEX) return x.orientInput(mesh, t, o.mesh, o.a[0]);
  const int decided = x.sideOfNode(mesh, t, o);
  if (decided != 2) return decided;
  return sign(
      CGAL::orientation(x.input(mesh, t[0]), x.input(mesh, t[1]), x.input(mesh, t[2]), x.at(s)));
}

}  // namespace geom::csg
