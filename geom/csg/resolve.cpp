// CGAL's autorefinement of one operand; a translation unit of its own because of what the
// corefinement headers cost to compile.
#include "geom/csg/resolve.h"

#include <algorithm>
#include <array>
#include <exception>
#include <map>
#include <string>

#include "geom/csg/apart.h"
#include "geom/csg/cgal_mesh.h"
#include "geom/csg/corefine.h"
#include "geom/csg/pending.h"
#include "geom/csg/self_intersection.h"
#include "geom/csg/solid_query.h"
#include "geom/csg/soup_refine.h"
#include "geom/error.h"

namespace geom::csg {

namespace {

using namespace cgal;

// Keeps each face's source face through the re-triangulation of the faces that are cut. CGAL
// copies the visitor, so the state lives outside it.
struct Sources {
  Mesh::Property_map<FI, int> face;
  int current = -1;
};
struct Visitor : PMP::Corefinement::Default_visitor<Mesh> {
  Sources* s = nullptr;
  void before_subface_creations(FI f, Mesh&) { s->current = s->face[f]; }
  void after_subface_created(FI f, Mesh&) { s->face[f] = s->current; }
};

// op's triangles in a CGAL mesh, cut along the curves where they cross one another (CGAL's
// autorefinement): each sheet gets its own copy of a curve, so the surface stays a manifold
// one, in patches between the curves, which `crossed` marks. With `weld`, vertices at one
// position are one vertex first (seams left unstitched, which CGAL's triangulation of a cut face
// cannot take as two points at one place). sources.face gives each face's
// source face in op.mesh. Throws geom::Error when CGAL cannot do it.
void refine(const TriangulatedOperand& op, bool weld, Mesh& m, Sources& sources,
            Mesh::Property_map<EI, bool>& crossed) {
  const std::vector<Vec3>& pts = op.mesh->vertices();
  std::vector<int> vmap(pts.size(), -1);
  std::vector<int> order;
  std::map<std::array<double, 3>, int> at;
  for (const auto& tri : op.tris) {
    for (int v : tri) {
      if (vmap[v] >= 0) continue;
      const int next = static_cast<int>(order.size());
      vmap[v] =
          weld ? at.emplace(std::array<double, 3>{pts[v].x, pts[v].y, pts[v].z}, next).first->second
               : next;
      if (vmap[v] == next) order.push_back(v);
    }
  }
  m.reserve(order.size(), op.tris.size() * 3 / 2, op.tris.size());
  for (int v : order) m.add_vertex(Point(pts[v].x, pts[v].y, pts[v].z));
  sources.face = m.add_property_map<FI, int>("f:source", -1).first;
  for (std::size_t t = 0; t < op.tris.size(); ++t) {
    const auto& tri = op.tris[t];
    const FI f = m.add_face(VI(static_cast<Mesh::size_type>(vmap[tri[0]])),
                            VI(static_cast<Mesh::size_type>(vmap[tri[1]])),
                            VI(static_cast<Mesh::size_type>(vmap[tri[2]])));
    if (f == Mesh::null_face()) {
      throw Error::invalidOperand(
          op.name, "self-intersects, and its faces do not form a surface to resolve");
    }
    sources.face[f] = static_cast<int>(op.triFace[t]);
  }
  crossed = m.add_property_map<EI, bool>("e:crossed", false).first;
  Visitor visitor;
  visitor.s = &sources;
  try {
    PMP::experimental::autorefine(
        m, CGAL::parameters::visitor(visitor).edge_is_constrained_map(crossed));
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    std::string why = e.what();  // CGAL's own messages run over several lines
    std::replace(why.begin(), why.end(), '\n', ' ');
    throw Error::invalidOperand(
        op.name, "self-intersects, and cutting it along its crossings failed: " + why);
  }
}

}  // namespace

bool selfIntersects(const TriangulatedOperand& op, const std::vector<std::uint8_t>* only) {
  try {
    checkSelfIntersections(op, only);
  } catch (const Error&) {
    return true;
  }
  return false;
}

ResolvedOperand refineCrossings(const TriangulatedOperand& op) {
  Mesh m;
  Sources sources;
  Mesh::Property_map<EI, bool> crossed;
  try {
    try {
      refine(op, true, m, sources, crossed);
    } catch (const Error&) {
      // Welded, the faces no longer make a surface (seams wound against each other): as given.
      m = Mesh();
      sources = Sources();
      refine(op, false, m, sources, crossed);
    }
  } catch (const Error& cgalFailed) {
    // CGAL's autorefinement gives up on some configurations (faces lying on one another, edges
    // through one another's corners): the triangles are cut one by one instead.
    RefinedSoup soup;
    try {
      soup = refineSoup(op.mesh->vertices(), op.tris);
    } catch (const Error&) {
      throw cgalFailed;
    }
    // Its points at one position are one vertex; where that joins seams wound against each
    // other, the cut surface is no surface, and CGAL's reason stands.
    std::vector<std::uint64_t> directed;
    directed.reserve(3 * soup.tris.size());
    for (const auto& t : soup.tris) {
      for (int k = 0; k < 3; ++k) directed.push_back(directedKey(t[k], t[(k + 1) % 3]));
    }
    std::sort(directed.begin(), directed.end());
    if (std::adjacent_find(directed.begin(), directed.end()) != directed.end()) throw cgalFailed;
    std::vector<std::uint32_t> source(soup.sourceTri.size());
    for (std::size_t t = 0; t < source.size(); ++t) source[t] = op.triFace[soup.sourceTri[t]];
    return splitSharedEdges(std::move(soup.points), soup.tris, source);
  }
  // The copies of a curve, one per sheet, become one vertex again: the sheets now meet along
  // edges, which is what the split into sheets pairs up.
  std::map<std::array<double, 3>, int> at;
  std::vector<int> index(m.number_of_vertices() + m.number_of_removed_vertices(), -1);
  std::vector<Vec3> points;
  for (const VI v : m.vertices()) {
    const Vec3 p{m.point(v).x(), m.point(v).y(), m.point(v).z()};
    const auto [it, fresh] =
        at.emplace(std::array<double, 3>{p.x, p.y, p.z}, static_cast<int>(points.size()));
    if (fresh) points.push_back(p);
    index[v] = it->second;
  }
  std::vector<std::array<int, 3>> tris;
  std::vector<std::uint32_t> source;
  tris.reserve(m.number_of_faces());
  for (const FI f : m.faces()) {
    std::array<int, 3> tri{};
    std::size_t k = 0;
    for (const VI v : CGAL::vertices_around_face(m.halfedge(f), m)) {
      if (k < 3) tri[k] = index[v];
      ++k;
    }
    if (k != 3 || sources.face[f] < 0) {
      throw Error::invalidOperand(op.name,
                                  "self-intersects, and cutting it left a face it cannot use");
    }
    tris.push_back(tri);
    source.push_back(static_cast<std::uint32_t>(sources.face[f]));
  }
  return splitSharedEdges(std::move(points), tris, source);
}

namespace {

ResolvedOperand resolveByAutorefinement(const TriangulatedOperand& op, const Grid& grid) {
  Mesh m;
  Sources sources;
  Mesh::Property_map<EI, bool> crossed;
  refine(op, false, m, sources, crossed);

  // The refined surface as triangles over its vertices.
  std::vector<Vec3> points;
  std::vector<int> index(m.number_of_vertices() + m.number_of_removed_vertices(), -1);
  for (const VI v : m.vertices()) {
    const Point& p = m.point(v);
    index[v] = static_cast<int>(points.size());
    points.push_back({p.x(), p.y(), p.z()});
  }
  std::vector<std::array<int, 3>> tris;
  std::vector<FI> faceOf;
  std::vector<int> triOf(m.number_of_faces() + m.number_of_removed_faces(), -1);
  for (const FI f : m.faces()) {
    std::array<int, 3> tri{};
    int k = 0;
    for (const VI v : CGAL::vertices_around_face(m.halfedge(f), m)) {
      if (k < 3) tri[k] = index[v];
      ++k;
    }
    if (k != 3)
      throw Error::invalidOperand(
          op.name, "self-intersects, and cutting it left a face that is not a triangle");
    if (sources.face[f] < 0)
      throw Error::invalidOperand(op.name, "self-intersects, and cutting it lost a face");
    triOf[f] = static_cast<int>(tris.size());
    tris.push_back(tri);
    faceOf.push_back(f);
  }

  // Patches: triangles joined across edges that are not on a crossing.
  std::vector<int> patch(tris.size(), -1);
  int patches = 0;
  std::vector<std::size_t> stack;
  for (std::size_t seed = 0; seed < tris.size(); ++seed) {
    if (patch[seed] >= 0) continue;
    const int id = patches++;
    patch[seed] = id;
    stack.push_back(seed);
    while (!stack.empty()) {
      const std::size_t t = stack.back();
      stack.pop_back();
      for (const auto h : CGAL::halfedges_around_face(m.halfedge(faceOf[t]), m)) {
        if (crossed[m.edge(h)] || m.is_border(m.opposite(h))) continue;
        const int n = triOf[m.face(m.opposite(h))];
        if (n >= 0 && patch[n] < 0) {
          patch[n] = id;
          stack.push_back(static_cast<std::size_t>(n));
        }
      }
    }
  }
  const std::vector<std::uint8_t> keep = facingOutside(points, tris, patch, op.name);

  // The kept triangles. Where a kept triangle's neighbour across an edge went, the surface goes
  // on through the other sheet's copy of that edge: the copies are joined there, and only there,
  // so that sheets which merely touch stay apart.
  std::vector<int> parent(points.size());
  for (std::size_t v = 0; v < parent.size(); ++v) parent[v] = static_cast<int>(v);
  auto find = [&](int v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  };
  auto keptTri = [&](FI f) {
    const int t = triOf[f];
    return t >= 0 && keep[t] != 0;
  };
  using Key = std::array<double, 6>;
  auto keyOf = [&](int u, int v) {
    const Vec3& p = points[u];
    const Vec3& q = points[v];
    return Key{p.x, p.y, p.z, q.x, q.y, q.z};
  };
  std::map<Key, std::vector<std::pair<int, int>>> open;  // (from, to) by their positions
  for (std::size_t t = 0; t < tris.size(); ++t) {
    if (!keep[t]) continue;
    for (const auto h : CGAL::halfedges_around_face(m.halfedge(faceOf[t]), m)) {
      const auto o = m.opposite(h);
      if (!m.is_border(o) && keptTri(m.face(o))) continue;
      const int u = index[m.source(h)], v = index[m.target(h)];
      open[keyOf(u, v)].emplace_back(u, v);
    }
  }
  for (auto& [key, edges] : open) {
    auto back = open.find(Key{key[3], key[4], key[5], key[0], key[1], key[2]});
    if (back == open.end() || back->second.size() < edges.size()) {
      throw Error::invalidOperand(op.name,
                                  "self-intersects, and resolving it leaves the surface open");
    }
    // Several sheets along one curve: joined in order, which keeps each join a manifold edge.
    for (std::size_t i = 0; i < edges.size(); ++i) {
      const auto [u, v] = edges[i];
      const auto [bu, bv] = back->second[i];
      parent[find(u)] = find(bv);
      parent[find(v)] = find(bu);
    }
  }

  std::vector<std::uint32_t> sourceFace;
  std::vector<int> number(points.size(), -1);
  std::vector<Vec3> kept;
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (std::size_t t = 0; t < tris.size(); ++t) {
    if (!keep[t]) continue;
    for (int v : tris[t]) {
      const int root = find(v);
      if (number[root] < 0) {
        number[root] = static_cast<int>(kept.size());
        kept.push_back(grid.round(points[root]));
      }
      corners.push_back(number[root]);
    }
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    sourceFace.push_back(static_cast<std::uint32_t>(sources.face[faceOf[t]]));
  }
  return settleResolved(std::move(kept), std::move(offsets), std::move(corners),
                        std::move(sourceFace), grid, op.name);
}

}  // namespace

ResolvedOperand resolveSelfIntersections(const TriangulatedOperand& op, const Grid& grid) {
  try {
    return resolveByAutorefinement(op, grid);
  } catch (const Error& first) {
    // Where CGAL's autorefinement gives up (seen: diplodocus), or its cut leaves faces on each
    // other, the triangles are cut one by one, and faces pressed onto each other cancel.
    try {
      return resolveBySoup(op, grid, 4);
    } catch (const Error&) {
      throw first;
    }
  }
}

}  // namespace geom::csg
