// CGAL corefinement of two triangulated operands. This is one of the few translation units of
// the kernel that include CGAL; everything it hands back is plain arrays.
#include "geom/csg/corefine.h"
#include "geom/csg/self_intersection.h"

#include <algorithm>
#include <string>

#include "geom/csg/cgal_mesh.h"
#include "geom/csg/near.h"
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
  Mesh::Property_map<HI, int> outside;  // border half-edge: the operand half-edge beyond it
  int current = -1;                     // triangle of the face being re-triangulated
};

// The operand's vertices in the order of their first use by its triangles: the corefined
// mesh numbers them so (vertices no triangle uses are left out).
struct VertexOrder {
  std::vector<int> index;   // per operand vertex: its number, or -1
  std::vector<int> vertex;  // per number: the operand vertex
};

VertexOrder vertexOrder(const TriangulatedOperand& op) {
  VertexOrder o;
  o.index.assign(op.mesh->vertexCount(), -1);
  for (const auto& tri : op.tris) {
    for (int v : tri) {
      if (o.index[v] < 0) {
        o.index[v] = static_cast<int>(o.vertex.size());
        o.vertex.push_back(v);
      }
    }
  }
  return o;
}

// Builds the halfedge structure of op's triangles marked in `near` directly from the
// validated pairing: faster than add_face and free of its failure modes. Where a marked
// triangle's neighbour is not marked, the edge borders the mesh; its border half-edge records
// the neighbour's half-edge (h:outside). Requires the marked triangles to have one fan at each
// vertex (nearTriangles makes it so), so each border vertex has one border half-edge leaving it.
void build(const TriangulatedOperand& op, const std::vector<std::uint8_t>& near,
           std::size_t nearCount, Track& t) {
  Mesh& m = t.mesh;
  const std::vector<Vec3>& pts = op.mesh->vertices();
  const std::size_t nt = op.tris.size();
  std::vector<int> vmap(pts.size(), -1);
  std::vector<int> order;
  for (std::size_t f = 0; f < nt; ++f) {
    if (!near[f]) continue;
    for (int v : op.tris[f]) {
      if (vmap[v] < 0) {
        vmap[v] = static_cast<int>(order.size());
        order.push_back(v);
      }
    }
  }
  // Room for the faces corefinement adds, so that the arrays do not double (and for a moment
  // triple) while it runs.
  const std::size_t extra = nearCount / 4 + 1024;
  m.reserve(order.size() + extra, (nearCount + extra) * 3 / 2 + nearCount, nearCount + extra);
  t.original = m.add_property_map<VI, int>("v:original", -1).first;
  t.node = m.add_property_map<VI, int>("v:node", -1).first;
  for (const int v : order) {
    const Vec3& p = pts[v];
    t.original[m.add_vertex(Point(p.x, p.y, p.z))] = v;
  }
  t.outside = m.add_property_map<HI, int>("h:outside", -1).first;
  std::vector<HI> he(nt * 3);
  std::vector<std::size_t> border;  // operand half-edges whose opposite is a border half-edge
  for (std::size_t f = 0; f < nt; ++f) {
    if (!near[f]) continue;
    for (std::size_t h = 3 * f; h < 3 * f + 3; ++h) {
      // A border of the operand itself stays a border, with nothing beyond it (-1).
      const int o = op.opposite[h];
      if (o < 0 || !near[static_cast<std::size_t>(o) / 3]) {
        he[h] = m.add_edge();
        t.outside[m.opposite(he[h])] = o;
        border.push_back(h);
      } else if (h < static_cast<std::size_t>(o)) {
        he[h] = m.add_edge();
        he[o] = m.opposite(he[h]);
      }
    }
  }
  t.tri = m.add_property_map<FI, int>("f:tri", -1).first;
  t.split = m.add_property_map<FI, std::uint8_t>("f:split", 0).first;
  for (std::size_t f = 0; f < nt; ++f) {
    if (!near[f]) continue;
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
  // The border half-edge opposite h (corner k to k + 1 of triangle f) runs from corner k + 1
  // to corner k; the next one along the border is the one that leaves corner k's vertex.
  std::vector<HI> leaving(order.size());
  for (const std::size_t h : border) {
    const std::size_t f = h / 3, k = h % 3;
    leaving[vmap[op.tris[f][(k + 1) % 3]]] = m.opposite(he[h]);
  }
  for (const std::size_t h : border) {
    const std::size_t f = h / 3, k = h % 3;
    const HI b = m.opposite(he[h]);
    const VI target(static_cast<Mesh::size_type>(vmap[op.tris[f][k]]));
    m.set_target(b, target);
    m.set_face(b, Mesh::null_face());
    m.set_next(b, leaving[target.idx()]);
    // A border vertex's half-edge is its incoming border half-edge, as CGAL expects.
    m.set_halfedge(target, b);
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

// The whole operand after corefinement: its unmarked triangles as they were, its marked ones
// as CGAL cut them. Vertices are numbered in the order of first use by the operand's
// triangles, then the new ones; triangle t keeps the index t (a cut triangle for one of its
// pieces), the other pieces follow.
void extract(const TriangulatedOperand& op, const std::vector<std::uint8_t>& near, Track& t,
             CorefinedMesh& out) {
  Mesh& m = t.mesh;
  if (m.has_garbage()) m.collect_garbage();
  const VertexOrder order = vertexOrder(op);
  const std::size_t used = order.vertex.size();
  std::vector<int> full(m.number_of_vertices());
  std::size_t nv = used;
  for (VI v : m.vertices()) {
    full[v.idx()] = t.original[v] >= 0 ? order.index[t.original[v]] : static_cast<int>(nv++);
  }
  out.points.resize(nv);
  out.node.assign(nv, -1);
  out.original.assign(nv, -1);
  const std::vector<Vec3>& pts = op.mesh->vertices();
  for (std::size_t i = 0; i < used; ++i) {
    out.points[i] = pts[order.vertex[i]];
    out.original[i] = order.vertex[i];
  }
  for (VI v : m.vertices()) {
    const int i = full[v.idx()];
    const Point& p = m.point(v);
    out.points[i] = {p.x(), p.y(), p.z()};
    out.node[i] = t.node[v];
  }
  const std::size_t nt = op.tris.size();
  const std::size_t nf = nt + m.number_of_faces() - std::count(near.begin(), near.end(), 1);
  out.faces.resize(nf);
  out.faceTri.resize(nf);
  out.split.assign(nf, 0);
  out.opposite.resize(nf * 3);
  out.constrained.assign(nf * 3, 0);
  for (std::size_t f = 0; f < nt; ++f) {
    if (near[f]) continue;
    for (int k = 0; k < 3; ++k) {
      out.faces[f][k] = order.index[op.tris[f][k]];
      out.opposite[3 * f + k] = op.opposite[3 * f + k];
    }
    out.faceTri[f] = static_cast<int>(f);
  }
  // Each face of CGAL's mesh takes its triangle's slot if still free, else the next new one.
  std::vector<std::uint8_t> taken(nt, 0);
  std::vector<int> slot(m.number_of_faces());
  std::size_t next = nt;
  for (FI f : m.faces()) {
    const int tri = t.tri[f];
    if (!taken[tri]) {
      taken[tri] = 1;
      slot[f.idx()] = tri;
    } else {
      slot[f.idx()] = static_cast<int>(next++);
    }
  }
  std::vector<int> corner(m.number_of_halfedges(), -1);
  for (FI f : m.faces()) {
    HI h = m.halfedge(f);
    for (int k = 0; k < 3; ++k, h = m.next(h)) corner[h.idx()] = 3 * slot[f.idx()] + k;
  }
  for (FI f : m.faces()) {
    HI h = m.halfedge(f);
    const std::size_t i = static_cast<std::size_t>(slot[f.idx()]);
    for (int k = 0; k < 3; ++k, h = m.next(h)) {
      out.faces[i][k] = full[m.source(h).idx()];
      const HI o = m.opposite(h);
      if (m.is_border(o)) {
        const int beyond = t.outside[o];
        out.opposite[3 * i + k] = beyond;
        if (beyond >= 0) out.opposite[beyond] = static_cast<int>(3 * i + k);
      } else {
        out.opposite[3 * i + k] = corner[o.idx()];
      }
      out.constrained[3 * i + k] = t.constrained[m.edge(h)] ? 1 : 0;
    }
    out.faceTri[i] = t.tri[f];
    out.split[i] = t.split[f];
  }
}

// Where a solid touches itself, its sheets meet in copies of one vertex. Where the other
// operand comes near such a place, CGAL's corefinement meets the sheets there twice and may
// fail in ways it does not report (seen: a crash inside its constrained triangulation of a
// face), so it does not get to run: the caller sets the sheets apart first.
void refuseTouchingNear(const TriangulatedOperand& op, const std::vector<std::uint8_t>& near) {
  if (op.sameVertex.empty()) return;
  std::vector<std::uint8_t> touching(op.sameVertex.size(), 0);
  for (std::size_t v = 0; v < op.sameVertex.size(); ++v) {
    const int same = op.sameVertex[v];
    if (same != static_cast<int>(v)) touching[v] = touching[same] = 1;
  }
  for (std::size_t t = 0; t < op.tris.size(); ++t) {
    if (!near[t]) continue;
    for (const int v : op.tris[t]) {
      if (static_cast<std::size_t>(v) < touching.size() && touching[v]) {
        throw Error::invalidOperand(op.name,
                                    "touches itself where the other operand comes near it");
      }
    }
  }
}

}  // namespace

Corefinement corefine(TriangulatedOperand& a, TriangulatedOperand& b,
                      const std::array<bool, 2>& checkNear) {
  Corefinement result;
  {
    // Only the triangles near the other operand go to CGAL: its box sweeps, face look-ups and
    // mesh copies then cost what the intersection costs, not what the operands do.
    NearTriangles near = nearTriangles(a, b);
    refuseTouchingNear(a, near.of[0]);
    refuseTouchingNear(b, near.of[1]);
    // Our own test on the near triangles: the same as CGAL's throw_on_self_intersection, for a
    // fraction of its cost (it tests each pair of faces it cuts without the flat-fan shortcut).
    TriangulatedOperand* ops[2] = {&a, &b};
    for (int m = 0; m < 2; ++m) {
      if (!checkNear[m]) continue;
      try {
        checkSelfIntersections(*ops[m], &near.of[m]);
      } catch (const Error&) {
        throw Error::invalidOperand(ops[m]->name,
                                    "self-intersects near the intersection of the operands");
      }
    }
    auto tracks = std::make_unique<std::array<Track, 2>>();
    Track& ta = (*tracks)[0];
    Track& tb = (*tracks)[1];
    build(a, near.of[0], near.count[0], ta);
    build(b, near.of[1], near.count[1], tb);
    Shared shared{{&ta, &tb}, 0, &result.nodes};
    Visitor visitor;
    visitor.s = &shared;
    try {
      PMP::corefine(ta.mesh, tb.mesh,
                    CGAL::parameters::edge_is_constrained_map(ta.constrained).visitor(visitor),
                    CGAL::parameters::edge_is_constrained_map(tb.constrained));
    } catch (const PMP::Corefinement::Triple_intersection_exception&) {
      throw Error::failure("corefinement found three faces meeting in one point it cannot resolve");
    } catch (const CGAL::Failure_exception& e) {
      throw Error::failure(std::string("corefinement failed: ") + e.what());
    }
    result.nodeCount = shared.nodeCount;
    result.nodes.resize(result.nodeCount);
    for (int i = 0; i < 2; ++i) {
      extract(*ops[i], near.of[i], (*tracks)[i], result.mesh[i]);
      (*tracks)[i].mesh = Mesh();
      if (!checkNear[i]) std::vector<int>().swap(ops[i]->opposite);
      std::vector<int>().swap(ops[i]->triIsland);
      result.mesh[i].sourceTris = std::move(ops[i]->tris);
      ops[i]->tris.clear();
      ops[i]->tree.reset();
    }
  }
  return result;
}

Corefinement uncut(const TriangulatedOperand& a, const TriangulatedOperand& b) {
  Corefinement cf;
  const TriangulatedOperand* ops[2] = {&a, &b};
  for (int m = 0; m < 2; ++m) {
    const TriangulatedOperand& op = *ops[m];
    CorefinedMesh& out = cf.mesh[m];
    if (op.empty()) continue;
    const std::size_t nv = op.mesh->vertexCount();
    out.points = op.mesh->vertices();
    out.node.assign(nv, -1);
    out.original.resize(nv);
    for (std::size_t v = 0; v < nv; ++v) out.original[v] = static_cast<int>(v);
    out.faces = op.tris;
    out.faceTri.resize(op.tris.size());
    for (std::size_t t = 0; t < op.tris.size(); ++t) out.faceTri[t] = static_cast<int>(t);
    out.sourceTris = op.tris;
    out.opposite = op.opposite;
    out.constrained.assign(op.opposite.size(), 0);
    out.split.assign(op.tris.size(), 0);
  }
  return cf;
}

}  // namespace geom::csg
