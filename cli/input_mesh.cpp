#include "cli/input_mesh.h"

#include <cmath>

namespace cli {

namespace {

// Appends the box UVs of one face (its corners' point indices) to out.
void appendBoxUv(const std::vector<geom::Vec3>& points, std::span<const int> poly,
                 std::vector<std::array<float, 3>>& out) {
  if (poly.empty()) return;
  // Newell's normal: the sum of the edges' cross products, walked from the last corner.
  geom::Vec3 n;
  const geom::Vec3* prev = &points[static_cast<std::size_t>(poly.back())];
  for (int v : poly) {
    const geom::Vec3* cur = &points[static_cast<std::size_t>(v)];
    n = n + geom::cross(*prev, *cur);
    prev = cur;
  }
  const double ax = std::abs(n.x), ay = std::abs(n.y), az = std::abs(n.z);
  // The dropped axis; u and v keep a right-handed order seen from outside the +axis side.
  const int drop = ax >= ay && ax >= az ? 0 : (ay >= az ? 1 : 2);
  const double s = n[drop] < 0 ? -1.0 : 1.0;
  for (int v : poly) {
    const geom::Vec3& p = points[static_cast<std::size_t>(v)];
    const double u = drop == 0 ? s * -p.z : drop == 1 ? p.x : s * p.x;
    const double w = drop == 0 ? p.y : drop == 1 ? s * -p.z : p.y;
    out.push_back({static_cast<float>(u), static_cast<float>(w), 0.0f});
  }
}

}  // namespace

std::vector<std::array<float, 3>> boxUv(const geom::MeshFile& file) {
  std::vector<std::array<float, 3>> out;
  for (const auto& poly : file.polygons) appendBoxUv(file.points, poly, out);
  return out;
}

std::vector<std::array<float, 3>> boxUv(const std::vector<geom::Vec3>& points,
                                        std::span<const std::int64_t> offsets,
                                        std::span<const std::int32_t> corners) {
  std::vector<std::array<float, 3>> out;
  out.reserve(corners.size());
  for (std::size_t f = 0; f + 1 < offsets.size(); ++f) {
    appendBoxUv(points,
                corners.subspan(static_cast<std::size_t>(offsets[f]),
                                static_cast<std::size_t>(offsets[f + 1] - offsets[f])),
                out);
  }
  return out;
}

InputMesh readInput(const std::string& path, NameTable& names, bool projectUv) {
  InputMesh m;
  m.file = geom::readMeshFile(path);
  m.ids = names.faceIds(m.file, defaultFaceName(path));
  if (projectUv && m.file.uvw.empty()) m.file.uvw = boxUv(m.file);
  return m;
}

void connectMesh(host::Host& h, const HostArrays& mesh, std::uint32_t points,
                 std::uint32_t description, std::uint32_t uvw, std::uint32_t faceIds) {
  h.connectVector3Array(points, mesh.points);
  h.connectLongArray(description, mesh.description);
  if (!mesh.uvw.empty()) h.connectVector3Array(uvw, mesh.uvw);
  if (!mesh.faceIds.empty()) h.connectLongArray(faceIds, mesh.faceIds);
}

HostArrays toHostArrays(const InputMesh& mesh) {
  HostArrays a;
  a.points.reserve(mesh.file.points.size());
  for (const auto& p : mesh.file.points) {
    a.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  }
  for (const auto& poly : mesh.file.polygons) {
    a.description.insert(a.description.end(), poly.begin(), poly.end());
    a.description.push_back(-2);
  }
  a.uvw.assign(mesh.file.uvw.begin(), mesh.file.uvw.end());
  a.faceIds = mesh.ids;
  return a;
}

}  // namespace cli
