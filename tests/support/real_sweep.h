// The real-mesh sweep: a mesh combined with a turned and moved copy of itself through the
// Boolean node's logic, and what came out checked the way a consumer would meet it (float
// coordinates, CGAL's own tests), then fed back as the operand of a further cut.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "boolean/boolean.h"
#include "core/topo_store.h"
#include "geom/solid_check.h"
#include "support/host_mesh_file.h"
#include "support/mesh_measures.h"

namespace tsl::test {

// A copy turned by angle (radians) about z around the box centre, then moved by move times
// the half size, per axis; coordinates rounded to float as a host would hold them.
inline HostMesh placedCopy(const HostMesh& m, double angle, const double move[3]) {
  const HostBox box = boxOf(m);
  double mid[3], half[3];
  for (int k = 0; k < 3; ++k) {
    mid[k] = (box.lo[k] + box.hi[k]) / 2;
    half[k] = (box.hi[k] - box.lo[k]) / 2;
  }
  const double cs = std::cos(angle), sn = std::sin(angle);
  HostMesh out = m;
  for (Float3& p : out.points) {
    const double x = p.x - mid[0], y = p.y - mid[1];
    p.x = static_cast<float>(mid[0] + cs * x - sn * y + move[0] * half[0]);
    p.y = static_cast<float>(mid[1] + sn * x + cs * y + move[1] * half[1]);
    p.z = static_cast<float>(p.z + move[2] * half[2]);
  }
  return out;
}

// True when every island of the mesh is closed and none is wound inwards.
inline bool isClosedOutwardSolid(const HostMesh& m) {
  const geom::Polyhedron p = polyhedronOf(m.points, m.description);
  if (p.faceCount() == 0) return false;
  for (std::size_t i = 0; i < p.manifoldCount(); ++i) {
    if (!p.manifold_is_closed()[i] || p.manifold_is_negative()[i]) return false;
  }
  return true;
}

inline geom::SolidVerdict verdictOf(const HostMesh& m) {
  std::vector<std::array<float, 3>> pts;
  pts.reserve(m.points.size());
  for (const Float3& p : m.points) pts.push_back({p.x, p.y, p.z});
  return geom::checkPublishedSolid(pts, facesOf(m.description));
}

struct BooleanRun {
  Outcome outcome = Outcome::Empty;
  std::string reason;  // the engine's reason for a pass-through
  HostMesh result;
};

inline BooleanRun runBoolean(const HostMesh& a, const HostMesh& b, int function,
                             bool triangulate = false) {
  boolean::BooleanInput in;
  in.a.points = a.points;
  in.a.description = a.description;
  in.b.points = b.points;
  in.b.description = b.description;
  in.function = function;
  in.triangulate = triangulate;
  TopoStore store;
  std::vector<LogLine> lines;
  BooleanRun run;
  run.outcome = boolean::combine(in, store, collectInto(lines));
  for (const LogLine& l : lines) {
    if (l.severity == Severity::Verbose) run.reason = l.text;
  }
  run.result.points = store.points;
  run.result.description = store.polygons;
  return run;
}

// One step of the sweep: op on a and b, the result checked, then cut again by knife.
struct SweepStep {
  BooleanRun run;
  bool closed = false;
  geom::SolidVerdict verdict;
  BooleanRun again;

  bool good() const {
    return run.outcome == Outcome::Published && closed && verdict.valid() &&
           again.outcome == Outcome::Published;
  }
  // For an operand that is not a closed solid: a result, and one that is cut again.
  bool attempted() const {
    return run.outcome == Outcome::Published &&
           again.outcome == Outcome::Published;
  }
  std::string problem() const {
    if (run.outcome != Outcome::Published) return "pass-through: " + run.reason;
    if (again.outcome != Outcome::Published && !closed) {
      return "an island is open; refused again: " + again.reason;
    }
    if (!closed) return "an island is open";
    if (!verdict.valid()) return "published mesh " + verdict.problem;
    if (again.outcome != Outcome::Published) return "refused again: " + again.reason;
    return {};
  }
};

inline SweepStep sweepStep(const HostMesh& a, const HostMesh& b, int function, bool triangulate,
                           const HostMesh& knife) {
  SweepStep s;
  s.run = runBoolean(a, b, function, triangulate);
  if (s.run.outcome != Outcome::Published) return s;
  const geom::Polyhedron p = polyhedronOf(s.run.result.points, s.run.result.description);
  s.closed = true;
  for (std::size_t i = 0; i < p.manifoldCount(); ++i)
    s.closed = s.closed && p.manifold_is_closed()[i];
  if (p.faceCount() == 0) {
    s.verdict.problem.clear();  // the empty solid is a valid result
    s.again = runBoolean(s.run.result, knife, 2);
    return s;
  }
  s.verdict = verdictOf(s.run.result);
  s.again = runBoolean(s.run.result, knife, 2);
  return s;
}

}  // namespace tsl::test
