// The corefinement's intersection points as exact constructions, built only when a predicate
// asks for one.
#include "geom/csg/exact_points.h"

#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/intersections.h>

#include <optional>

#include "geom/cgal_kernel.h"

namespace geom::csg {

namespace {
using EK = CGAL::Exact_predicates_exact_constructions_kernel;
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

int ExactPoints::orient(Ref p, Ref q, Ref r, Ref s) const {
  return sign(CGAL::orientation(impl_->at(p), impl_->at(q), impl_->at(r), impl_->at(s)));
}

}  // namespace geom::csg
