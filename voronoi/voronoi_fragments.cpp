#include "voronoi/voronoi_fragments.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/island_analysis.h"
#include "core/mesh_arrays.h"
#include "core/uvw_attr.h"
#include "geom/csg.h"
#include "geom/csg_attributes.h"
#include "geom/error.h"
#include "voronoi/planar_uv.h"
#include "voronoi/voronoi_cells.h"

namespace tsl::voronoi {
namespace {

using geom::Csg;
using geom::Polyhedron;

constexpr const char* kNoCentres = "TSL VORONOI: No voro-points for calculation , skipped";
constexpr const char* kOpenInput =
    "TSL VORONOI: Input Geo has one or more negativeopen Polyislands , bypassed";
constexpr SolidInputTexts kSolidTexts{
    "TSL VORONOI: Invalid input mesh, ",
    "TSL VORONOI: Input Geo has non-finite point coordinates , bypassed", kOpenInput};
constexpr const char* kCoreFailed = "TSL VORONOI: vCore is corrupted , bypassed";
constexpr const char* kCancelled = "TSL VORONOI: Cancelled by the user , stopped";

Outcome run(const VoronoiInput& in, TopoStore& store, const Logger& log, const Progress& progress) {
  if (in.centres.empty()) {
    log(Severity::Warning, kNoCentres);
    return Outcome::Empty;
  }
  const std::unique_ptr<Polyhedron> mesh = solidInput(in.points, in.description, kSolidTexts, log);
  if (!mesh) return Outcome::Empty;

  CellMesh cells;
  try {
    cells = voronoi_cells(in.centres, in.thickness, mesh->aabb(), progress);
  } catch (const VoroError& e) {
    log(Severity::Error, std::string("TSL VORONOI: Voronoi cells failed, ") + e.what());
    return Outcome::Empty;
  }
  // Without a cell nothing of the mesh survives the cut; say so instead of publishing nothing.
  if (cells.mesh.faceCount() == 0) {
    log(Severity::Warning, "TSL VORONOI: No voronoi cell inside the container box , skipped");
    return Outcome::Empty;
  }

  geom::FaceAttr<std::int32_t> ids;
  geom::FaceVertexAttr<UvwAttr> uvw;
  const bool idsOn = in.idsIsArray && acceptFaceIds(true, in.ids.size(), mesh->faceCount(), log);
  if (idsOn) {
    ids.setAttributes(*mesh, in.ids);
  }
  const bool uvOn = in.uvwIsArray &&
                    acceptUvw(true, in.uvw.size(), in.description.size(), mesh->faceCount(), log);
  float scale = 0.0f;
  if (uvOn) {
    std::vector<UvwAttr> corners(mesh->cornerCount());
    for (std::size_t k = 0; k < corners.size(); ++k) corners[k] = UvwAttr::of(in.uvw[k]);
    uvw.setAttributes(*mesh, corners);
    scale = in.uvScale();
  }

  Csg csg;
  csg.publishAsFloat();
  // The cells are convex, closed and disjoint by construction.
  csg.skipSelfIntersectionCheck(Csg::OPERAND_B);
  if (uvOn) csg.attach(uvw);
  if (idsOn) csg.attach(ids);
  std::unique_ptr<Polyhedron> result;
  stopIfCancelled(progress);
  // The cut is one engine call; it can only be stopped before and after.
  progress.begin("Cutting the mesh", 1);
  try {
    result = csg.compute(*mesh, cells.mesh, Csg::INTERSECTION, Csg::CLASSIFY_EDGE);
  } catch (const geom::Error&) {
    log(Severity::Error, kCoreFailed);
    return Outcome::Empty;
  }
  progress.done();
  stopIfCancelled(progress);
  progress.begin("Assembling the pieces", result->faceCount());

  writeMesh(store, *result);
  if (idsOn) {
    store.faceInfo.resize(result->faceCount());
    for (std::size_t f = 0; f < result->faceCount(); ++f) {
      store.faceInfo[f] = {islandOf(*result, f), ids.getAttribute(*result, f, kPolygonEnd)};
    }
  }
  if (uvOn) {
    store.uvw.reserve(result->cornerCount());
    std::vector<geom::Vec3> corners;
    for (std::size_t f = 0; f < result->faceCount(); ++f) {
      const auto face = result->face(f);
      if (uvw.hasAttribute(*result, f, 0)) {
        for (std::size_t c = 0; c < face.size(); ++c) {
          store.uvw.push_back(uvw.getAttribute(*result, f, c, UvwAttr{}).toFloat3());
        }
      } else {
        corners.clear();
        for (int v : face) corners.push_back(result->vertices()[static_cast<std::size_t>(v)]);
        appendPlanarUvw(corners, scale, store.uvw);
      }
      progress.done();
    }
  } else {
    progress.done(result->faceCount());
  }
  writeBounds(store, result->aabb());
  // Only a complete result is described: memory running out above leaves no count lines.
  logMeshCounts(*result, log);
  return Outcome::Published;
}

}  // namespace

Outcome fracture(const VoronoiInput& in, TopoStore& store, const Logger& log,
                 const Progress& progress) {
  clearTopoStore(store);
  try {
    return run(in, store, log, progress);
  } catch (const Cancelled&) {
    clearTopoStore(store);
    log(Severity::Warning, kCancelled);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    clearTopoStore(store);
    log(Severity::Error, std::string("TSL VORONOI: ") + e.what());
  }
  return Outcome::Empty;
}

}  // namespace tsl::voronoi
