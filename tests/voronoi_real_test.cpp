// The Voronoi plug-in fracturing a real mesh into 200 pieces.
#include <gtest/gtest.h>

#include <cmath>

#include "geom/mesh_sampling.h"
#include "support/demo_meshes.h"
#include "support/mesh_measures.h"
#include "support/plugin_session.h"

namespace {

using namespace tsl::test;
using tsl::Float3;

TEST(VoronoiRealMesh, BunnyInTwoHundredPieces) {
  const geom::MeshFile file = geom::readMeshFile(demoMeshPath("bunny00.off"));
  const HostMesh bunny = demoMesh("bunny00.off");
  std::vector<Float3> centres;
  for (const auto& p : geom::scatterInside(file, 200, 11)) {
    centres.push_back({float(p.x), float(p.y), float(p.z)});
  }
  host::Host h(pluginPath("TSL_Voronoi"));
  connectMesh(h, 0, 1, bunny);
  h.connectVector3Array(3, toVec3f(centres));
  h.connectFloat(4, 0.001f);
  std::size_t corners = 0;
  for (std::int32_t v : bunny.description) corners += v != -2;
  h.connectVector3Array(2, std::vector<host::Vec3f>(corners, host::Vec3f{0.5f, 0.5f, 0}));
  h.connectFloat(7, 1.0f);
  h.beginEvaluate();
  h.evaluate(200);
  expectCleanCalls(h);
  ASSERT_EQ(h.log().size(), 3u) << h.log().front().text;
  const RecordCopy r = readRecord(h.customOutput(200));

  const geom::Polyhedron pieces = polyhedronOf(r.points, r.polygons);
  EXPECT_GE(pieces.manifoldCount(), 200u);  // a cell may hold two separate parts (ears)
  for (bool closed : pieces.manifold_is_closed()) EXPECT_TRUE(closed);
  const double whole = volumeOf(bunny.points, bunny.description);
  const double parts = volumeOf(r.points, r.polygons);
  EXPECT_GE(parts, 0.98 * whole);
  EXPECT_LE(parts, whole * (1 + 1e-9));

  // Every piece within the mesh's box, every UVW finite.
  Float3 lo = bunny.points[0], hi = bunny.points[0];
  for (const Float3& p : bunny.points) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  for (const Float3& p : r.points) {
    EXPECT_TRUE(p.x >= lo.x && p.y >= lo.y && p.z >= lo.z && p.x <= hi.x && p.y <= hi.y &&
                p.z <= hi.z);
  }
  ASSERT_EQ(r.uvw.size(), r.polygons.size() - facesOf(r.polygons).size());
  std::size_t planar = 0;
  for (const Float3& t : r.uvw) {
    ASSERT_TRUE(std::isfinite(t.x) && std::isfinite(t.y) && std::isfinite(t.z));
    planar += !(t == Float3{0.5f, 0.5f, 0});
  }
  EXPECT_GT(planar, 0u);
}

}  // namespace
