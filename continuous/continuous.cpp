#include "continuous/continuous.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "continuous/knife_batch.h"
#include "core/island_analysis.h"
#include "core/margin_box.h"
#include "core/mesh_arrays.h"
#include "core/uvw_attr.h"
#include "geom/csg.h"
#include "geom/csg_attributes.h"
#include "geom/error.h"

namespace tsl::continuous {
namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Vec3;

constexpr const char* kGeometry0 = "Invalid Knife Geometry , TRACE POINT 0";
constexpr const char* kGeometry1 = "Invalid Knife Geometry , TRACE POINT 1";
constexpr const char* kOpenInput =
    "TSL Continuous: Input Geo has one or more open Polyislands , bypassed";
constexpr SolidInputTexts kSolidTexts{
    "TSL CONT: Invalid input mesh, ",
    "TSL CONT: Input Geo has non-finite point coordinates , bypassed", kOpenInput};
constexpr const char* kIslandGate = "TSL Continuous: Invalid knife TRACE POINT 0, bypassed";
constexpr const char* kSolidGate = "TSL Continuous: Invalid Knife TRACE POINT 1, bypassed";
constexpr const char* kKnifeUv = "Knife UV samples count doesn't much faces count, UV bypassed";
constexpr const char* kCoreFailed = "TSL CONT: cCore is corrupted , bypassed";
constexpr const char* kCancelled = "TSL CONT: Cancelled by the user , stopped";
// Batches of instances waiting to be subtracted: more find a place for more instances, each
// costs a pass over the work body.
constexpr std::size_t kWaitingBatches = 8;

// The work body the knives are taken out of.
std::unique_ptr<Polyhedron> workBox(const geom::AABB& box) {
  const MarginBox b = marginBox(box);
  const Float3& M = b.hi;
  const Float3& m = b.lo;
  std::vector<Vec3> pts{{M.x, M.y, M.z}, {m.x, M.y, M.z}, {m.x, m.y, M.z}, {M.x, m.y, M.z},
                        {M.x, M.y, m.z}, {m.x, M.y, m.z}, {m.x, m.y, m.z}, {M.x, m.y, m.z}};
  const std::vector<int> faces{4, 0, 1, 2, 3, 4, 7, 6, 5, 4, 4, 0, 4, 5, 1,
                               4, 1, 5, 6, 2, 4, 2, 6, 7, 3, 4, 3, 7, 4, 0};
  return std::make_unique<Polyhedron>(std::move(pts), 6, faces);
}

// Knife instance i: points i*P .. i*P+P-1 under the shared topology. Returns nothing when a
// point is not finite (the instance is then skipped like one whose subtraction fails).
std::unique_ptr<Polyhedron> knifeInstance(const ContinuousInput& in, const KnifeShape& k,
                                          std::size_t i) {
  std::vector<Vec3> pts;
  pts.reserve(k.pointsPerInstance);
  for (std::size_t p = 0; p < k.pointsPerInstance; ++p) {
    const Float3& f = in.knifePoints[i * k.pointsPerInstance + p];
    if (!std::isfinite(f.x) || !std::isfinite(f.y) || !std::isfinite(f.z)) return nullptr;
    pts.push_back({f.x, f.y, f.z});
  }
  std::vector<int> faces;
  faces.reserve(4 * std::size_t{k.triangles});
  for (std::size_t j = 0; j < k.triangles; ++j) {
    faces.insert(faces.end(), {3, in.knifeDescriptor[4 * j], in.knifeDescriptor[4 * j + 1],
                               in.knifeDescriptor[4 * j + 2]});
  }
  return std::make_unique<Polyhedron>(std::move(pts), k.triangles, faces);
}

// Sets the knife's UVW on every instance in a mesh of `count` instances, one after another.
void setKnifeUvw(std::span<const Float3> knifeUvw, std::size_t count, const Polyhedron& knives,
                 geom::FaceVertexAttr<UvwAttr>& uvw) {
  std::vector<UvwAttr> corners;
  corners.reserve(count * knifeUvw.size());
  for (std::size_t n = 0; n < count; ++n) {
    for (const Float3& v : knifeUvw) corners.push_back(UvwAttr::of(v));
  }
  uvw.setAttributes(knives, corners);
}

// The corner entries must address a point of an instance; the descriptor is user data and an
// index outside the instance would otherwise reach into the next instance's points.
bool cornersInRange(std::span<const std::int32_t> d, const KnifeShape& k) {
  for (std::size_t j = 0; j < k.triangles; ++j) {
    for (std::size_t c = 0; c < 3; ++c) {
      const std::int32_t v = d[4 * j + c];
      if (v < 0 || static_cast<std::uint32_t>(v) >= k.pointsPerInstance) return false;
    }
  }
  return true;
}

}  // namespace

KnifeShape knifeShape(std::size_t descriptorLength) {
  const auto t = static_cast<std::uint32_t>(descriptorLength / 4);
  return {t, t / 2 + 2};
}

namespace {

Outcome carveSteps(const ContinuousInput& in, TopoStore& store, const Logger& log,
                   const Progress& progress) {
  const std::size_t d = in.knifeDescriptor.size();
  if (d % 4 != 0) {
    log(Severity::Warning, kGeometry0);
    return Outcome::Unwritten;
  }
  const auto ends = static_cast<std::size_t>(
      std::count(in.knifeDescriptor.begin(), in.knifeDescriptor.end(), kPolygonEnd));
  if (ends != d / 4) {
    log(Severity::Warning, kGeometry1);
    return Outcome::Unwritten;
  }
  const KnifeShape knife = knifeShape(d);
  if (!cornersInRange(in.knifeDescriptor, knife)) {
    log(Severity::Warning, kGeometry0);
    return Outcome::Empty;
  }

  const std::unique_ptr<Polyhedron> a = solidInput(in.points, in.description, kSolidTexts, log);
  if (!a) return Outcome::Empty;
  std::unique_ptr<Polyhedron> work = workBox(a->aabb());

  geom::FaceAttr<std::int32_t> ids;
  geom::FaceVertexAttr<UvwAttr> uvw;
  bool idsOn = false;
  if (in.idsIsArray && acceptFaceIds(true, in.ids.size(), a->faceCount(), log)) {
    ids.setAttributes(*a, in.ids);
    idsOn = true;
  }
  const bool aUvwUsable =
      in.uvwIsArray && acceptUvw(true, in.uvw.size(), in.description.size(), a->faceCount(), log);
  bool uvOn = aUvwUsable && in.knifeUvwIsArray;

  const std::size_t instances = in.knifePoints.size() / knife.pointsPerInstance;
  std::uint32_t skipped = 0;
  progress.begin("Knives", instances);
  // Each instance goes through its gates in order, then waits in the first batch whose
  // instances its box is apart from (see KnifeBatch); a batch is subtracted as one operand.
  // What the knives take out does not depend on the order they are subtracted in, only the
  // work body's faces on the way do, so an instance may go before an earlier one it does not
  // fit with. When no batch of the ones waiting takes an instance, they are all subtracted.
  std::vector<KnifeBatch> waiting;
  auto subtract = [&](const Polyhedron& knives, std::size_t count) {
    if (uvOn) setKnifeUvw(in.knifeUvw, count, knives, uvw);
    Csg csg;
    // Every work body is on the float grid, so the final cut has only its own points to round.
    csg.publishAsFloat();
    // The work body is always an engine result, so its geometric validity is known.
    csg.skipSelfIntersectionCheck(Csg::OPERAND_A);
    if (uvOn) csg.attach(uvw);
    bool done = false;
    try {
      std::unique_ptr<Polyhedron> next =
          csg.compute(*work, knives, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
      uvw.forget(*work);
      work = std::move(next);
      done = true;
    } catch (const geom::Error&) {
    }
    uvw.forget(knives);
    return done;
  };
  auto flush = [&] {
    for (KnifeBatch& batch : waiting) {
      if (batch.size() > 1 && subtract(batch.joined(), batch.size())) continue;
      // One instance, or a batch the engine refused: one by one, so that exactly the
      // instances that cannot be subtracted are skipped.
      for (std::size_t n = 0; n < batch.size(); ++n) {
        if (!subtract(batch.knife(n), 1)) ++skipped;
      }
    }
    waiting.clear();
  };
  for (std::size_t i = 0; i < instances; ++i) {
    stopIfCancelled(progress);
    std::unique_ptr<Polyhedron> k;
    try {
      k = knifeInstance(in, knife, i);
    } catch (const geom::Error&) {
      k = nullptr;  // cannot happen after the range check; treated as a failed subtraction
    }
    if (!k) {
      ++skipped;
      progress.done();
      continue;
    }
    if (islandCount(*k) != 1) {
      log(Severity::Warning, kIslandGate + std::to_string(islandCount(*k)));
      return Outcome::Empty;
    }
    if (!k->manifold_is_closed()[0] || k->manifold_is_negative()[0]) {
      log(Severity::Warning, kSolidGate);
      return Outcome::Empty;
    }
    if (uvOn && in.knifeUvw.size() != 3 * std::size_t{knife.triangles}) {
      log(Severity::Warning, kKnifeUv);
      uvOn = false;
    }
    auto fits = std::find_if(waiting.begin(), waiting.end(),
                             [&](const KnifeBatch& b) { return b.apartFrom(*k); });
    if (fits == waiting.end()) {
      if (waiting.size() == kWaitingBatches) flush();
      fits = waiting.emplace(waiting.end());
    }
    fits->add(std::move(k));
    // Counted when it is placed: the subtractions' cost lands on the instance that makes them.
    progress.done();
  }
  stopIfCancelled(progress);
  flush();
  if (skipped != 0) {
    log(Severity::Error,
        "TSL CONT: Invalid interations: " + std::to_string(skipped) + " , skipped");
  }

  if (uvOn) {
    std::vector<UvwAttr> corners(a->cornerCount());
    for (std::size_t r = 0; r < corners.size(); ++r) corners[r] = UvwAttr::of(in.uvw[r]);
    uvw.setAttributes(*a, corners);
  }

  stopIfCancelled(progress);
  progress.begin("Final cut", 1);
  Csg csg;
  csg.publishAsFloat();
  csg.skipSelfIntersectionCheck(Csg::OPERAND_B);
  if (idsOn) csg.attach(ids);
  if (uvOn) csg.attach(uvw);
  std::unique_ptr<Polyhedron> result;
  try {
    result = csg.compute(*a, *work, Csg::INTERSECTION, Csg::CLASSIFY_EDGE);
  } catch (const geom::Error&) {
    log(Severity::Error, kCoreFailed);
    return Outcome::Empty;
  }

  writeMesh(store, *result);
  if (uvOn) {
    store.uvw.resize(result->cornerCount());
    std::size_t k = 0;
    for (std::size_t f = 0; f < result->faceCount(); ++f) {
      for (std::size_t c = 0; c < result->face(f).size(); ++c) {
        store.uvw[k++] = uvw.getAttribute(*result, f, c, UvwAttr{}).toFloat3();
      }
    }
  }
  if (idsOn) {
    store.faceInfo.resize(result->faceCount());
    for (std::size_t f = 0; f < result->faceCount(); ++f) {
      store.faceInfo[f] = {islandOf(*result, f), ids.getAttribute(*result, f, kPolygonEnd)};
    }
  }
  writeBounds(store, result->aabb());
  // Only a complete result is described: memory running out above leaves no count lines.
  logMeshCounts(*result, log);
  progress.done();
  return Outcome::Published;
}

}  // namespace

Outcome carve(const ContinuousInput& in, TopoStore& store, const Logger& log,
              const Progress& progress) {
  clearTopoStore(store);
  try {
    return carveSteps(in, store, log, progress);
  } catch (const Cancelled&) {
    clearTopoStore(store);
    log(Severity::Warning, kCancelled);
    return Outcome::Empty;
  }
}

}  // namespace tsl::continuous
