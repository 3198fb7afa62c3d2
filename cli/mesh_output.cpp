#include "cli/mesh_output.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>

#include "geom/polyhedron.h"

namespace cli {
namespace {

std::vector<std::vector<int>> splitFaces(const TopoMesh& m) {
  std::vector<std::vector<int>> faces;
  std::vector<int> cur;
  for (std::int32_t v : m.polygons) {
    if (v == -2) {
      faces.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(v);
    }
  }
  return faces;
}

std::string fmt(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  return buf;
}

void writeObj(const TopoMesh& m, std::ostream& out) {
  const auto faces = splitFaces(m);
  const auto islands = faceIslands(m);
  const bool uv = !m.uvw.empty() && m.uvw.size() == m.cornerCount();
  out << "# tessellon result: " << m.points.size() << " points, " << faces.size() << " faces\n";
  for (const auto& p : m.points)
    out << "v " << fmt(p[0]) << ' ' << fmt(p[1]) << ' ' << fmt(p[2]) << '\n';
  if (uv) {
    for (const auto& t : m.uvw)
      out << "vt " << fmt(t[0]) << ' ' << fmt(t[1]) << ' ' << fmt(t[2]) << '\n';
  }
  std::map<int, std::vector<std::size_t>> byIsland;
  for (std::size_t f = 0; f < faces.size(); ++f) byIsland[islands[f]].push_back(f);
  std::vector<std::size_t> firstCorner(faces.size() + 1, 0);
  for (std::size_t f = 0; f < faces.size(); ++f)
    firstCorner[f + 1] = firstCorner[f] + faces[f].size();
  for (const auto& [island, list] : byIsland) {
    out << "o island_" << island << '\n';
    for (std::size_t f : list) {
      out << 'f';
      for (std::size_t k = 0; k < faces[f].size(); ++k) {
        out << ' ' << faces[f][k] + 1;
        if (uv) out << '/' << firstCorner[f] + k + 1;
      }
      out << '\n';
    }
  }
}

void writePly(const TopoMesh& m, std::ostream& out) {
  const auto faces = splitFaces(m);
  const auto islands = faceIslands(m);
  const bool uv = !m.uvw.empty() && m.uvw.size() == m.cornerCount();
  const bool ids = m.faceInfo.size() == faces.size();
  out << "ply\nformat ascii 1.0\ncomment tessellon result\n";
  out << "element vertex " << m.points.size()
      << "\nproperty float x\nproperty float y\nproperty float z\n";
  // uint counts: Boolean results have faces of hundreds of corners.
  out << "element face " << faces.size() << "\nproperty list uint int vertex_indices\n";
  out << "property int island\nproperty int face_id\n";
  if (uv) out << "property list uint float uvw\n";
  out << "end_header\n";
  for (const auto& p : m.points) out << fmt(p[0]) << ' ' << fmt(p[1]) << ' ' << fmt(p[2]) << '\n';
  std::size_t corner = 0;
  for (std::size_t f = 0; f < faces.size(); ++f) {
    out << faces[f].size();
    for (int v : faces[f]) out << ' ' << v;
    out << ' ' << islands[f] << ' ' << (ids ? m.faceInfo[f][1] : -2);
    if (uv) {
      out << ' ' << faces[f].size() * 3;
      for (std::size_t k = 0; k < faces[f].size(); ++k, ++corner) {
        for (int c = 0; c < 3; ++c) out << ' ' << fmt(m.uvw[corner][c]);
      }
    }
    out << '\n';
  }
}

}  // namespace

std::vector<int> faceIslands(const TopoMesh& m) {
  const std::size_t nf = m.faceCount();
  std::vector<int> out(nf, 0);
  if (m.faceInfo.size() == nf) {
    for (std::size_t f = 0; f < nf; ++f) out[f] = m.faceInfo[f][0];
    return out;
  }
  std::vector<geom::Vec3> pts;
  pts.reserve(m.points.size());
  for (const auto& p : m.points) pts.push_back({p[0], p[1], p[2]});
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (std::int32_t v : m.polygons) {
    if (v == -2) {
      offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    } else {
      corners.push_back(v);
    }
  }
  const geom::Polyhedron p(std::move(pts), std::move(offsets), std::move(corners));
  for (std::size_t f = 0; f < nf; ++f) out[f] = p.manifold_id(f);
  return out;
}

void writeMesh(const TopoMesh& mesh, MeshFormat format, std::ostream& out) {
  if (format == MeshFormat::Obj) {
    writeObj(mesh, out);
  } else {
    writePly(mesh, out);
  }
}

}  // namespace cli
