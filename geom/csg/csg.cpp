#include "geom/csg.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "geom/csg/apart.h"
#include "geom/csg/assemble.h"
#include "geom/csg/classify.h"
#include "geom/csg/corefine.h"
#include "geom/csg/drop_crossing.h"
#include "geom/csg/exact_points.h"
#include "geom/csg/intake.h"
#include "geom/csg/operand.h"
#include "geom/csg/resolve.h"
#include "geom/csg/resolved_values.h"
#include "geom/csg/result_resolve.h"
#include "geom/csg/self_intersection.h"
#include "geom/csg/solid_query.h"
#include "geom/csg_attributes.h"
#include "geom/error.h"
#include "geom/rescale.h"
#include "geom/triangulator.h"
#include "geom/winding_number.h"

namespace geom {

namespace csg {

namespace {

// Thrown where a deferred self-intersection test fails, or anything after deferring one does:
// the computation starts again with the operands tested in full.
struct TestInFull {};

bool boxesMeet(const TriangulatedOperand& a, const TriangulatedOperand& b) {
  if (a.empty() || b.empty()) return false;
  return a.lo.x <= b.hi.x && b.lo.x <= a.hi.x && a.lo.y <= b.hi.y && b.lo.y <= a.hi.y &&
         a.lo.z <= b.hi.z && b.lo.z <= a.hi.z;
}

// Whether the result may keep enough of op's triangles for its deferred self-intersection test
// to walk op's own box tree (walksOwnTree), as far as other's box tells: where the result keeps
// only what lies inside other, a triangle whose box is apart from other's box is not kept.
bool mayKeepMost(const TriangulatedOperand& op, const TriangulatedOperand& other,
                 bool keepsInsideOnly) {
  if (!keepsInsideOnly) return true;
  const std::vector<Vec3>& p = op.mesh->vertices();
  std::size_t meeting = 0;
  auto meets = [&](const std::array<int, 3>& t, int k) {
    const double a = p[t[0]][k], b = p[t[1]][k], c = p[t[2]][k];
    return std::min({a, b, c}) <= other.hi[k] && other.lo[k] <= std::max({a, b, c});
  };
  for (const auto& t : op.tris) meeting += meets(t, 0) && meets(t, 1) && meets(t, 2);
  return walksOwnTree(meeting, op.tris.size());
}

// Splits the faces of more than three corners; the triangles keep their polygon's provenance
// and corner derivations.
void triangulateResult(ResultBuild& rb) {
  ResultBuild out;
  const bool corners = !rb.cornerSources.empty();
  out.weights = std::move(rb.weights);
  std::vector<Triangulator::Triangle> tris;
  for (std::size_t f = 0; f < rb.faceCount(); ++f) {
    const std::uint32_t b = rb.offsets[f];
    faceTriangles(rb, f, tris);
    for (const auto& t : tris) {
      for (std::uint32_t s : t) {
        out.corners.push_back(rb.corners[b + s]);
        if (corners) out.cornerSources.push_back(rb.cornerSources[b + s]);
      }
      out.offsets.push_back(static_cast<std::uint32_t>(out.corners.size()));
      out.origins.push_back(rb.origins[f]);
    }
  }
  out.points = std::move(rb.points);
  rb = std::move(out);
}

using Clock = std::chrono::steady_clock;

double since(Clock::time_point& t) {
  const Clock::time_point now = Clock::now();
  const double s = std::chrono::duration<double>(now - t).count();
  t = now;
  return s;
}

}  // namespace
}  // namespace csg

Csg::Csg() = default;
Csg::~Csg() = default;

void Csg::attach(const Triangulator& triangulator) {
  triangulator_ = &triangulator;
}
void Csg::attach(CsgAttribute& attribute) {
  attributes_.push_back(&attribute);
}
void Csg::detachAll() {
  triangulator_ = nullptr;
  attributes_.clear();
}
void Csg::skipSelfIntersectionCheck(Operand which, bool skip) {
  skipSelfCheck_[which] = skip;
}

void Csg::publishAsFloat() {
  grid_ = {true, Vec3{0, 0, 0}, 1.0};
}
void Csg::publishAsFloat(const Rescale& rescale) {
  grid_ = {true, rescale.offset(), rescale.scale()};
}

std::unique_ptr<Polyhedron> Csg::compute(const Polyhedron& a, const Polyhedron& b, OP op,
                                         CLASSIFY_TYPE type) {
  // Most operands do not cross themselves, and most of what a result throws away need not be
  // tested: the test waits for the classification, and starts again in full only where it fails.
  try {
    return computeOnce(a, b, op, type, true);
  } catch (const csg::TestInFull&) {
    return computeOnce(a, b, op, type, false);
  }
}

std::unique_ptr<Polyhedron> Csg::computeOnce(const Polyhedron& a, const Polyhedron& b, OP op,
                                             CLASSIFY_TYPE type, bool deferSelfCheck) {
  using namespace csg;
  if (op < UNION || op > SYMMETRIC_DIFFERENCE) throw Error("Boolean: unknown operation");
  if (type != CLASSIFY_NORMAL && type != CLASSIFY_EDGE) {
    throw Error("Boolean: unknown classification type");
  }
  timings_ = {};
  origins_.clear();
  const Clock::time_point start = Clock::now();
  Clock::time_point t = start;
  // Operands whose self-intersection test waits (below); whatever fails after that may have come
  // of a crossing the full test would have resolved first, and is tried again that way.
  std::array<bool, 2> deferred{false, false};
  try {
    // An operand with small defects is mended first; one that crosses itself, or has islands
    // inside the solid, is replaced by the boundary of the solid it stands for. Its faces'
    // values go with it, and the result's provenance is told in terms of the operand as given.
    const Polyhedron* given[2] = {&a, &b};
    std::optional<ResolvedOperand> resolved[2];
    ForgetOnExit forget(attributes_, resolved);
    for (int m = 0; m < 2; ++m) {
      if (!skipSelfCheck_[m]) resolved[m] = mendOperand(*given[m]);
    }
    // A solid that touches itself along an edge or at a point is checked as the sheets it is
    // made of, which may meet there and nowhere else.
    auto prepare = [&](int m, const std::string& name) {
      const Polyhedron& mesh = resolved[m] ? resolved[m]->mesh : *given[m];
      try {
        return prepareOperand(mesh, name);
      } catch (const Error&) {
        if (skipSelfCheck_[m]) throw;
        const ResolvedOperand* from = resolved[m] ? &*resolved[m] : nullptr;
        std::optional<ResolvedOperand> split = splitTouchingSheets(mesh, from);
        if (!split) split = splitPinchedVertices(mesh, from);
        if (!split) throw;
        TriangulatedOperand op;
        try {
          op = prepareOperand(split->mesh, name);
        } catch (const Error& first) {
          // An open sheet that ends on a solid (a result of an open operand, fed back) may
          // share both ends of an edge with it: the edge is split in its middle first. Where
          // that does not help, the first reason stands.
          std::optional<ResolvedOperand> middles = splitCrowdedEdges(mesh, from);
          if (!middles) throw;
          std::optional<ResolvedOperand> again = splitTouchingSheets(middles->mesh, &*middles);
          if (!again) throw;
          try {
            op = prepareOperand(again->mesh, name);
          } catch (const Error&) {
            throw first;
          }
          split = std::move(again);
        }
        resolved[m] = std::move(split);
        op.mesh = &resolved[m]->mesh;  // the mesh prepared, moved into its place
        op.sameVertex = resolved[m]->sameVertex;
        return op;
      }
    };
    TriangulatedOperand ta = prepare(0, "operand A");
    TriangulatedOperand tb = prepare(1, "operand B");
    timings_.validate = since(t);
    TriangulatedOperand* prepared[2] = {&ta, &tb};
    // An open surface stands for its winding number's solid whether it crosses itself or not;
    // only where the other operand comes near do crossings matter (the corefinement checks).
    std::array<bool, 2> checkNear{skipSelfCheck_[0] || ta.open(), skipSelfCheck_[1] || tb.open()};
    for (int m = 0; m < 2; ++m) {
      if (skipSelfCheck_[m] || prepared[m]->empty()) continue;
      if (prepared[m]->open()) {
        if (resolved[m]) carryValues(*given[m], *resolved[m], attributes_);
        continue;
      }
      TriangulatedOperand& op = *prepared[m];
      const std::string name = op.name;
      const ResolvedOperand* before = resolved[m] ? &*resolved[m] : nullptr;
      if (deferSelfCheck && op.islandCount() == 1 && op.sameVertex.empty()) {
        // Tested near the other operand by the corefinement, and where the result keeps it
        // after the classification. One island wound inwards is refused in full.
        deferred[m] = checkNear[m] = true;
        if (!(op.islandVolume[0] > 0)) throw TestInFull{};
        if (resolved[m]) carryValues(*given[m], *resolved[m], attributes_);
        continue;
      }
      if (selfIntersects(op)) {
        std::optional<ResolvedOperand> r;
        try {
          r = resolveSelfIntersections(op, grid_);
        } catch (const Error&) {
          // Crossings that cannot be resolved (sheets that lie on each other, a surface that
          // autorefinement leaves open) are harmless away from the cut: the operand is used as
          // it is, its solid where its winding number is positive, and only crossings near the
          // other operand are refused.
          checkNear[m] = true;
        }
        if (r) {
          if (before != nullptr) {
            for (std::uint32_t& f : r->sourceFace) f = before->sourceFace[f];
          }
          resolved[m] = std::move(r);
          op = prepareOperand(resolved[m]->mesh, name);
          op.sameVertex = resolved[m]->sameVertex;
        }
      }
      const std::vector<std::uint8_t> drop = redundantIslands(op);
      if (std::find(drop.begin(), drop.end(), 1) != drop.end()) {
        resolved[m] = withoutIslands(op, drop, resolved[m] ? &*resolved[m] : nullptr);
        op = prepareOperand(resolved[m]->mesh, name);
        op.sameVertex = resolved[m]->sameVertex;
      }
      if (resolved[m]) carryValues(*given[m], *resolved[m], attributes_);
    }
    timings_.selfIntersection = since(t);

    const Polyhedron* ea = nullptr;
    const Polyhedron* eb = nullptr;
    ResultBuild rb;
    {
      auto corefineOrSetApart = [&]() -> Corefinement {
        std::exception_ptr failure;
        bool changed = false, lastResort = false;
        try {
          return boxesMeet(ta, tb) ? corefine(ta, tb, checkNear) : uncut(ta, tb);
        } catch (const std::bad_alloc&) {
          throw;
        } catch (const std::exception&) {
          // Perhaps a crossing that the deferred test would have resolved.
          if (deferred[0] || deferred[1]) throw TestInFull{};
          // Where the other operand cuts through the place where a solid touches itself, the
          // corefinement meets the sheets there twice; they are set apart, and it runs again.
          // So where an open surface crosses itself: cut along its crossings, its sheets only
          // touch there.
          if (ta.sameVertex.empty() && tb.sameVertex.empty() && !ta.open() && !tb.open()) throw;
          failure = std::current_exception();
        }
        // The first try released the operands' triangles: both are prepared again.
        for (int m = 0; m < 2; ++m) {
          TriangulatedOperand& op = *prepared[m];
          const std::string name = op.name;
          bool touching = !op.sameVertex.empty();
          op = prepareOperand(resolved[m] ? resolved[m]->mesh : *given[m], name);
          // Also an open surface already taken apart where it touched itself: the cut welds
          // those copies again and splits the sheets it finds; where it cannot, the sheets are
          // set apart as they were taken apart.
          std::optional<ResolvedOperand> cut, split;
          if (op.open() && !skipSelfCheck_[m] && selfIntersects(op)) {
            try {
              cut = refineCrossings(op);
              split = splitTouchingSheets(cut->mesh, &*cut);
            } catch (const Error&) {
              // Not to be cut: its crossings near the other operand go (below).
              lastResort = lastResort || !touching;
              cut.reset();
            }
            // Cut, but its sheets cannot be paired along the crossings (panels wound against
            // each other meet there): the same.
            if (cut && !split) {
              try {
                prepareOperand(cut->mesh, name);
              } catch (const Error&) {
                lastResort = lastResort || !touching;
                cut.reset();
              }
            }
          }
          if (cut) {
            if (resolved[m]) {
              for (std::uint32_t& f : cut->sourceFace) f = resolved[m]->sourceFace[f];
              if (split) {
                for (std::uint32_t& f : split->sourceFace) f = resolved[m]->sourceFace[f];
              }
              for (CsgAttribute* attr : attributes_) attr->forget(resolved[m]->mesh);
            }
            // Sheets that lay on each other where they met (stitched) need no split.
            touching = split.has_value();
            resolved[m] = touching ? std::move(split) : std::move(cut);
            op = prepareOperand(resolved[m]->mesh, name);
            changed = true;
            if (!touching) carryValues(*given[m], *resolved[m], attributes_);
          }
          if (!touching) continue;
          changed = true;
          op.sameVertex = resolved[m]->sameVertex;
          ResolvedOperand r = setSheetsApart(op, grid_, checkNear[m]);
          for (std::uint32_t& f : r.sourceFace) f = resolved[m]->sourceFace[f];
          for (CsgAttribute* attr : attributes_) attr->forget(resolved[m]->mesh);
          resolved[m] = std::move(r);
          op = prepareOperand(resolved[m]->mesh, name);
          carryValues(*given[m], *resolved[m], attributes_);
        }
        if (!changed && !lastResort) std::rethrow_exception(failure);
        // An open surface that still crosses itself where the other operand comes near loses
        // the faces that cross there: a few more holes, rather than no Boolean at all.
        for (int round = 0;; ++round) {
          if (changed) {
            try {
              return corefine(ta, tb, checkNear);
            } catch (const std::bad_alloc&) {
              throw;
            } catch (const std::exception&) {
              if (round == 4 ||
                  (ta.sameVertex.empty() && tb.sameVertex.empty() && !ta.open() && !tb.open())) {
                throw;
              }
              failure = std::current_exception();
            }
          }
          changed = true;
          for (int m = 0; m < 2; ++m) {
            TriangulatedOperand& op = *prepared[m];
            op = prepareOperand(resolved[m] ? resolved[m]->mesh : *given[m], op.name);
            if (resolved[m]) op.sameVertex = resolved[m]->sameVertex;
          }
          bool dropped = false;
          for (int m = 0; m < 2; ++m) {
            TriangulatedOperand& op = *prepared[m];
            if (!op.open() || skipSelfCheck_[m]) continue;
            std::optional<ResolvedOperand> r =
                withoutCrossingNear(ta, tb, m, resolved[m] ? &*resolved[m] : nullptr);
            if (!r) continue;
            const std::string name = op.name;
            // Holes that now meet at a corner are taken apart there (not where sheets were
            // already taken apart: their copies are counted in sameVertex).
            if (r->sameVertex.empty()) {
              std::optional<ResolvedOperand> apart = splitPinchedVertices(r->mesh, &*r);
              if (apart) r = std::move(apart);
            }
            if (resolved[m]) {
              for (CsgAttribute* attr : attributes_) attr->forget(resolved[m]->mesh);
            }
            resolved[m] = std::move(r);
            op = prepareOperand(resolved[m]->mesh, name);
            op.sameVertex = resolved[m]->sameVertex;
            carryValues(*given[m], *resolved[m], attributes_);
            dropped = true;
          }
          if (!dropped) std::rethrow_exception(failure);
        }
      };
      // The box tree the corefinement builds over a deferred operand, held for its test after
      // the classification where that may use it (the corefinement releases its own hold).
      std::shared_ptr<const BoxTree> held[2];
      for (int m = 0; m < 2; ++m) {
        const bool keepsInsideOnly =
            op == INTERSECTION || (op == A_MINUS_B && m == 1) || (op == B_MINUS_A && m == 0);
        if (!deferred[m] || !boxesMeet(ta, tb) ||
            !mayKeepMost(*prepared[m], *prepared[1 - m], keepsInsideOnly)) {
          continue;
        }
        trianglesTree(*prepared[m]);
        held[m] = prepared[m]->tree;
      }
      Corefinement cf = corefineOrSetApart();
      ea = resolved[0] ? &resolved[0]->mesh : &a;
      eb = resolved[1] ? &resolved[1]->mesh : &b;
      timings_.corefine = since(t);
      // Point tests run against the corefined surfaces: the same solids, and the operands'
      // own triangles are released by then.
      const TriangulatedOperand* ops[2] = {&ta, &tb};
      std::unique_ptr<SolidQuery> solids[2];
      auto solid = [&](int which) -> const SolidQuery& {
        if (!solids[which]) {
          solids[which] = std::make_unique<SolidQuery>(cf.mesh[which].points, cf.mesh[which].faces,
                                                       nullptr, ops[which]->name);
        }
        return *solids[which];
      };
      // An operand with a border stands for where its generalized winding number is above one
      // half.
      std::unique_ptr<FastWindingNumber> fast[2];
      PointQueries queries;
      queries.winding = [&](int which, const Vec3& p) {
        if (!ops[which]->open()) return solid(which).winding(p);
        if (!fast[which]) {
          fast[which] =
              std::make_unique<FastWindingNumber>(cf.mesh[which].points, cf.mesh[which].faces);
        }
        return fast[which]->inside(p) ? 1 : 0;
      };
      queries.within = [&](int which, const Vec3& p, double distance) {
        return solid(which).within(p, distance);
      };
      const ExactPoints exact(cf, *ea, *eb);
      const Classification cls = classify(cf, ta, tb, op, type, exact, queries);
      timings_.classify = since(t);
      for (int m = 0; m < 2; ++m) {
        if (!deferred[m]) continue;
        // The deferred test: the triangles the result keeps a piece of, among themselves (the
        // corefinement keeps the operand's triangles and, as checkNear asked, their pairing).
        CorefinedMesh& c = cf.mesh[m];
        std::vector<std::uint8_t> kept(c.sourceTris.size(), 0);
        for (std::size_t f = 0; f < c.faceCount(); ++f) {
          if (cls.keep[m][f]) kept[static_cast<std::size_t>(c.faceTri[f])] = 1;
        }
        TriangulatedOperand& o = *prepared[m];
        o.tris.swap(c.sourceTris);
        o.tree = std::move(held[m]);
        const bool crosses = selfIntersects(o, &kept);
        o.tris.swap(c.sourceTris);
        o.tree.reset();
        if (crosses) throw TestInFull{};
      }
      timings_.selfIntersection += since(t);
      bool wantCorners = false;
      for (const CsgAttribute* attr : attributes_)
        wantCorners = wantCorners || attr->needsCorners();
      assemble(cf, ta, tb, cls, wantCorners, grid_, rb);
      if (rb.unsettled && grid_.active) {
        const Polyhedron* const meshes[2] = {ea, eb};
        resolveOnGrid(rb, meshes, grid_, wantCorners, !ta.open() && !tb.open());
      }
      timings_.assemble = since(t);
    }
    if (triangulator_ != nullptr) triangulateResult(rb);
    auto result = std::make_unique<Polyhedron>(std::move(rb.points), std::move(rb.offsets),
                                               std::move(rb.corners));
    if (grid_.active) {
      // A sliver island that the rounding turned inside out winds around its points -1 times:
      // not part of the solid, and refused when fed back.
      const std::vector<std::uint8_t> drop = turnedSlivers(*result, grid_);
      if (!drop.empty()) {
        rb.points = result->vertices();
        rb.offsets.assign(1, 0);
        rb.corners.clear();
        for (std::size_t f = 0; f < result->faceCount(); ++f) {
          for (const int v : result->face(f)) rb.corners.push_back(v);
          rb.offsets.push_back(static_cast<std::uint32_t>(rb.corners.size()));
        }
        withoutFaces(rb, drop);
        result = std::make_unique<Polyhedron>(std::move(rb.points), std::move(rb.offsets),
                                              std::move(rb.corners));
      }
    }
    CsgResultView view;
    view.operands[0] = ea;
    view.operands[1] = eb;
    view.result = result.get();
    view.origins = rb.origins;
    view.corners = rb.cornerSources;
    view.weights = rb.weights;
    for (CsgAttribute* attr : attributes_) attr->interpolate(view);
    for (FaceOrigin& o : rb.origins) {
      if (resolved[o.operand]) o.face = resolved[o.operand]->sourceFace[o.face];
    }
    origins_ = std::move(rb.origins);
    timings_.hooks = since(t);
    timings_.total = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  } catch (const Error&) {
    origins_.clear();
    if (deferred[0] || deferred[1]) throw TestInFull{};
    throw;
  } catch (const std::bad_alloc&) {
    origins_.clear();
    throw;
  } catch (const std::exception& e) {
    origins_.clear();
    if (deferred[0] || deferred[1]) throw TestInFull{};
    throw Error::failure(std::string("Boolean failed: ") + e.what());
  }
}

}  // namespace geom
