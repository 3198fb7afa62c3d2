// tessellon continuous MESH --knife KNIFE (--instances FILE | --knife-points FILE)
//                      [-o OUT] [--json]
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "cli/args.h"
#include "cli/node_run.h"
#include "cli/verbs.h"
#include "geom/error.h"

namespace cli {
namespace {

std::vector<std::vector<double>> readNumberLines(const std::string& path, bool allowSeven) {
  std::ifstream in(path);
  if (!in) throw geom::Error(path + ": cannot open the file");
  std::vector<std::vector<double>> rows;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream s(line);
    std::vector<double> row;
    double v;
    while (s >> v) row.push_back(v);
    if (!s.eof()) throw geom::Error(path + ": line " + std::to_string(n) + " is not numbers");
    if (row.empty()) continue;
    if (row.size() != 3 && !(allowSeven && row.size() == 7)) {
      throw geom::Error(path + ": line " + std::to_string(n) +
                        (allowSeven ? " needs 3 numbers (x y z) or 7 (x y z rx ry rz scale)"
                                    : " needs 3 numbers (x y z)"));
    }
    for (double x : row) {
      if (!std::isfinite(x))
        throw geom::Error(path + ": line " + std::to_string(n) + " is not finite");
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// Rotation about x, then y, then z (degrees), uniform scale, then translation.
host::Vec3f place(const geom::Vec3& p, const std::vector<double>& t) {
  double x = p.x, y = p.y, z = p.z;
  if (t.size() == 7) {
    const double k = std::numbers::pi / 180.0;
    const double ax = t[3] * k, ay = t[4] * k, az = t[5] * k;
    double y1 = y * std::cos(ax) - z * std::sin(ax), z1 = y * std::sin(ax) + z * std::cos(ax);
    y = y1;
    z = z1;
    double x2 = x * std::cos(ay) + z * std::sin(ay), z2 = -x * std::sin(ay) + z * std::cos(ay);
    x = x2;
    z = z2;
    double x3 = x * std::cos(az) - y * std::sin(az), y3 = x * std::sin(az) + y * std::cos(az);
    x = x3 * t[6];
    y = y3 * t[6];
    z *= t[6];
  }
  return {static_cast<float>(x + t[0]), static_cast<float>(y + t[1]), static_cast<float>(z + t[2])};
}

}  // namespace

int runContinuous(const std::vector<std::string>& argv) {
  const Args args("continuous", argv,
                  {{"--knife", "--instances", "--knife-points", "-o"}, {"--json"}});
  args.expectPositionals(1, "MESH");
  const auto instances = args.value("--instances");
  const auto pointsFile = args.value("--knife-points");
  if (instances.has_value() == pointsFile.has_value()) {
    throw UsageError("tessellon continuous: give exactly one of --instances and --knife-points");
  }
  const std::string knifePath = args.required("--knife");
  const HostArrays mesh = toHostArrays(geom::readMeshFile(args.positionals()[0]));
  const geom::MeshFile knife = geom::readMeshFile(knifePath);

  std::vector<std::int32_t> descriptor;
  for (const auto& tri : knife.polygons) {
    if (tri.size() != 3) throw geom::Error(knifePath + ": the knife must be a triangle mesh");
    descriptor.insert(descriptor.end(), {tri[0], tri[1], tri[2], -2});
  }
  std::vector<host::Vec3f> knifePoints;
  if (instances) {
    const std::size_t expected = knife.polygons.size() / 2 + 2;
    if (knife.points.size() != expected) {
      throw geom::Error(knifePath + ": a closed knife of " + std::to_string(knife.polygons.size()) +
                        " triangles with the topology of a sphere has " + std::to_string(expected) +
                        " points, not " + std::to_string(knife.points.size()));
    }
    for (const auto& t : readNumberLines(*instances, true)) {
      for (const auto& p : knife.points) knifePoints.push_back(place(p, t));
    }
  } else {
    for (const auto& r : readNumberLines(*pointsFile, false)) {
      knifePoints.push_back(
          {static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2])});
    }
  }

  host::Host h(locatePlugin("TSL_Continuous"));
  h.connectVector3Array(0, mesh.points);
  h.connectLongArray(1, mesh.description);
  if (!mesh.uvw.empty()) h.connectVector3Array(2, mesh.uvw);
  if (!mesh.faceIds.empty()) h.connectLongArray(3, mesh.faceIds);
  h.connectVector3Array(4, knifePoints);
  h.connectLongArray(5, descriptor);
  if (!knife.uvw.empty()) {
    h.connectVector3Array(6, std::vector<host::Vec3f>(knife.uvw.begin(), knife.uvw.end()));
  }
  h.beginEvaluate();
  h.evaluate(200);
  return report(h, 200, args);
}

}  // namespace cli
