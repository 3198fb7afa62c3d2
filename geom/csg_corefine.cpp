// CGAL corefinement of two triangulated operands. This is one of the few translation units of
// the kernel that include CGAL; everything it hands back is plain arrays.
#include "geom/csg_corefine.h"

#include <string>

#include "geom/csg_cgal_mesh.h"
#include "geom/error.h"

namespace geom::csg {

namespace {

using namespace cgal;

// Per-mesh bookkeeping that the corefinement visitor keeps up to date.
struct Track {
  Mesh mesh;
  Mesh::Property_map<FI, int> tri;
  Mesh::Property_map<FI, std::uint8_t> split;
  Mesh::Property_map<VI, int> node;
  Mesh::Property_map<VI, int> original;
  Mesh::Property_map<EI, bool> constrained;
  int current = -1;  // triangle of the face being re-triangulated
};

// Builds the halfedge structure directly from the validated pairing: faster than add_face and
// free of its failure modes for meshes that are closed and manifold.
void build(const TriangulatedOperand& op, Track& t) {
  Mesh& m = t.mesh;
  const std::vector<Vec3>& pts = op.mesh->vertices();
  const std::size_t nt = op.tris.size();
  std::vector<int> vmap(pts.size(), -1);
  std::size_t used = 0;
  for (const auto& tri : op.tris) {
    for (int v : tri) {
      if (vmap[v] < 0) vmap[v] = static_cast<int>(used++);
    }
  }
  // Room for the faces corefinement adds, so that the arrays do not double (and for a moment
  // triple) while it runs.
  const std::size_t extra = nt / 16 + 4096;
  m.reserve(used + extra, (nt + extra) * 3 / 2, nt + extra);
  std::vector<int> order(used);
  for (std::size_t v = 0; v < pts.size(); ++v) {
    if (vmap[v] >= 0) order[vmap[v]] = static_cast<int>(v);
  }
  t.original = m.add_property_map<VI, int>("v:original", -1).first;
  t.node = m.add_property_map<VI, int>("v:node", -1).first;
  for (std::size_t i = 0; i < used; ++i) {
    const Vec3& p = pts[order[i]];
    const VI v = m.add_vertex(Point(p.x, p.y, p.z));
    t.original[v] = order[i];
  }
  std::vector<HI> he(nt * 3);
  for (std::size_t h = 0; h < nt * 3; ++h) {
    const std::size_t o = static_cast<std::size_t>(op.opposite[h]);
    if (h < o) {
      he[h] = m.add_edge();
      he[o] = m.opposite(he[h]);
    }
  }
  t.tri = m.add_property_map<FI, int>("f:tri", -1).first;
  t.split = m.add_property_map<FI, std::uint8_t>("f:split", 0).first;
  for (std::size_t f = 0; f < nt; ++f) {
    const FI face = m.add_face();
    t.tri[face] = static_cast<int>(f);
    for (int k = 0; k < 3; ++k) {
      const HI h = he[3 * f + k];
      const VI target(static_cast<Mesh::size_type>(vmap[op.tris[f][(k + 1) % 3]]));
      m.set_target(h, target);
      m.set_face(h, face);
      m.set_next(h, he[3 * f + (k + 1) % 3]);
      m.set_halfedge(target, h);
    }
    m.set_halfedge(face, he[3 * f]);
  }
  t.constrained = m.add_property_map<EI, bool>("e:constrained", false).first;
}

struct Shared {
  Track* track[2];
  std::size_t nodeCount = 0;
  std::vector<NodeOrigin>* nodes = nullptr;
  int index(const Mesh& m) const { return &m == &track[0]->mesh ? 0 : 1; }
  Track& of(const Mesh& m) const { return *track[index(m)]; }
};

// Keeps every face's source triangle (the re-triangulated face keeps its index as one of the
// pieces) and every vertex's intersection node. CGAL copies the visitor, so it holds a pointer.
struct Visitor : PMP::Corefinement::Default_visitor<Mesh> {
  Shared* s = nullptr;

  void before_subface_creations(FI f, Mesh& m) {
    Track& t = s->of(m);
    t.current = t.tri[f];
    t.split[f] = 1;
  }
  void after_subface_created(FI f, Mesh& m) {
    Track& t = s->of(m);
    t.tri[f] = t.current;
    t.split[f] = 1;
  }
  void new_vertex_added(std::size_t id, VI v, const Mesh& m) {
    s->of(m).node[v] = static_cast<int>(id);
    s->nodeCount = std::max(s->nodeCount, id + 1);
  }
  // Input vertices that lie on the other surface become nodes without a new vertex; CGAL tells
  // which through the same flags it uses itself.
  // The primitives are still the input ones when a node is detected, so they are recorded too.
  void intersection_point_detected(std::size_t id, int type, HI h1, HI h2, const Mesh& m1,
                                   const Mesh& m2, bool targetOn, bool sourceOn) {
    s->nodeCount = std::max(s->nodeCount, id + 1);
    if (s->nodes->size() <= id) s->nodes->resize(id + 1);
    NodeOrigin& o = (*s->nodes)[id];
    Track& t1 = s->of(m1);
    Track& t2 = s->of(m2);
    if (type == PMP::Corefinement::ON_VERTEX) {
      t2.node[m2.target(h2)] = static_cast<int>(id);
      o = {NodeOrigin::VERTEX,
           static_cast<std::uint8_t>(s->index(m2)),
           {t2.original[m2.target(h2)], -1},
           {}};
    }
    if (targetOn || sourceOn) {
      const VI v = targetOn ? m1.target(h1) : m1.source(h1);
      t1.node[v] = static_cast<int>(id);
      o = {NodeOrigin::VERTEX, static_cast<std::uint8_t>(s->index(m1)), {t1.original[v], -1}, {}};
      return;
    }
    if (type == PMP::Corefinement::ON_VERTEX) return;
    o.mesh = static_cast<std::uint8_t>(s->index(m1));
    o.a[0] = t1.original[m1.source(h1)];
    o.a[1] = t1.original[m1.target(h1)];
    if (type == PMP::Corefinement::ON_EDGE) {
      o.kind = NodeOrigin::EDGE_EDGE;
      o.b[0] = t2.original[m2.source(h2)];
      o.b[1] = t2.original[m2.target(h2)];
    } else {
      o.kind = NodeOrigin::EDGE_FACE;
      o.b[0] = t2.original[m2.source(h2)];
      o.b[1] = t2.original[m2.target(h2)];
      o.b[2] = t2.original[m2.target(m2.next(h2))];
    }
  }
};

void extract(Track& t, CorefinedMesh& out) {
  Mesh& m = t.mesh;
  if (m.has_garbage()) m.collect_garbage();
  const std::size_t nv = m.number_of_vertices();
  const std::size_t nf = m.number_of_faces();
  out.points.resize(nv);
  out.node.resize(nv);
  out.original.resize(nv);
  for (VI v : m.vertices()) {
    const Point& p = m.point(v);
    out.points[v.idx()] = {p.x(), p.y(), p.z()};
    out.node[v.idx()] = t.node[v];
    out.original[v.idx()] = t.original[v];
  }
  out.faces.resize(nf);
  out.faceTri.resize(nf);
  out.split.resize(nf);
  out.opposite.resize(nf * 3);
  out.constrained.resize(nf * 3);
  std::vector<int> corner(m.number_of_halfedges(), -1);
  for (FI f : m.faces()) {
    HI h = m.halfedge(f);
    for (int k = 0; k < 3; ++k, h = m.next(h)) corner[h.idx()] = static_cast<int>(3 * f.idx() + k);
  }
  for (FI f : m.faces()) {
    HI h = m.halfedge(f);
    const std::size_t i = f.idx();
    for (int k = 0; k < 3; ++k, h = m.next(h)) {
      out.faces[i][k] = static_cast<int>(m.source(h).idx());
      out.opposite[3 * i + k] = corner[m.opposite(h).idx()];
      out.constrained[3 * i + k] = t.constrained[m.edge(h)] ? 1 : 0;
    }
    out.faceTri[i] = t.tri[f];
    out.split[i] = t.split[f];
  }
}

}  // namespace

Corefinement corefine(TriangulatedOperand& a, TriangulatedOperand& b,
                      const std::string& unchecked) {
  Corefinement result;
  {
    auto tracks = std::make_unique<std::array<Track, 2>>();
    Track& ta = (*tracks)[0];
    Track& tb = (*tracks)[1];
    for (auto [op, track] : {std::pair{&a, &ta}, std::pair{&b, &tb}}) {
      build(*op, *track);
      std::vector<int>().swap(op->opposite);
      std::vector<int>().swap(op->triIsland);
      std::vector<std::array<int, 3>>().swap(op->tris);
    }
    Shared shared{{&ta, &tb}, 0, &result.nodes};
    Visitor visitor;
    visitor.s = &shared;
    try {
      PMP::corefine(ta.mesh, tb.mesh,
                    CGAL::parameters::edge_is_constrained_map(ta.constrained)
                        .visitor(visitor)
                        .throw_on_self_intersection(!unchecked.empty()),
                    CGAL::parameters::edge_is_constrained_map(tb.constrained));
    } catch (const PMP::Corefinement::Self_intersection_exception&) {
      throw Error(unchecked + " self-intersects near the intersection of the operands");
    } catch (const PMP::Corefinement::Triple_intersection_exception&) {
      throw Error("corefinement found three faces meeting in one point it cannot resolve");
    } catch (const CGAL::Failure_exception& e) {
      throw Error(std::string("corefinement failed: ") + e.what());
    }
    result.nodeCount = shared.nodeCount;
    result.nodes.resize(result.nodeCount);
    // One mesh at a time, so that each Surface_mesh is gone before the next copy is made.
    extract(ta, result.mesh[0]);
    ta.mesh = Mesh();
    extract(tb, result.mesh[1]);
  }
  return result;
}

}  // namespace geom::csg
