#include "python/py_mesh.h"

#include <limits>
#include <unordered_map>

#include "cli/pieces.h"

namespace tslpy {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

void checkName(const std::string& what, const std::string& name) {
  if (name.find_first_not_of(" \t") == std::string::npos ||
      name.find_first_of("\r\n") != std::string::npos)
    throw ConversionError(what + ": a name must be one non-empty line, got '" + name + "'");
}

// The names a mesh file declares for mesh's identifiers, and each face's index into them.
struct FileNames {
  std::vector<std::string> names;
  std::vector<int> faceNames;
};

FileNames fileNames(const Mesh& mesh) {
  FileNames out;
  std::map<std::int32_t, int> index;
  for (const auto& [id, name] : mesh.names) {
    if (id == cli::kCutFaceId) continue;
    index[id] = static_cast<int>(out.names.size());
    out.names.push_back(name);
  }
  if (mesh.ids.empty()) return out;
  for (std::int32_t id : mesh.ids) {
    if (id == cli::kCutFaceId || index.count(id)) continue;
    index[id] = -1;  // numbered below, in identifier order
  }
  for (auto& [id, at] : index) {
    if (at >= 0) continue;
    at = static_cast<int>(out.names.size());
    out.names.push_back(std::to_string(id));
  }
  // Faces of one identifier are runs more often than not: remember the last look-up.
  out.faceNames.reserve(mesh.ids.size());
  std::int32_t lastId = 0;
  int lastAt = -3;
  for (std::int32_t id : mesh.ids) {
    if (id == cli::kCutFaceId) {
      out.faceNames.push_back(geom::MeshFile::kCutFace);
      continue;
    }
    if (lastAt == -3 || id != lastId) lastId = id, lastAt = index.at(id);
    out.faceNames.push_back(lastAt);
  }
  return out;
}

}  // namespace

Mesh makeMesh(const MeshViews& v) {
  Mesh m;
  for (const auto& r : readRows3(v.points)) m.points.push_back({r[0], r[1], r[2]});
  const std::int64_t pointCount = static_cast<std::int64_t>(m.points.size());
  if (pointCount > kInt32Max) throw ConversionError(v.points.name + ": more than 2^31 points");
  if (v.offsets || v.indices) {
    if (!v.offsets || !v.indices)
      throw ConversionError("offsets and indices: give both, or faces as lists");
    const auto idx = readIntegers(*v.indices, 0, pointCount - 1);
    m.offsets = readIntegers(*v.offsets, 0, static_cast<std::int64_t>(idx.size()));
    if (m.offsets.empty() || m.offsets.front() != 0 ||
        m.offsets.back() != static_cast<std::int64_t>(idx.size()))
      throw ConversionError(v.offsets->name + ": must start at 0 and end at the number of " +
                            "indices (" + std::to_string(idx.size()) + ")");
    m.indices.assign(idx.begin(), idx.end());
  } else {
    for (std::size_t f = 0; f < v.faces.size(); ++f) {
      for (std::int64_t i : v.faces[f]) {
        if (i < 0 || i >= pointCount)
          throw ConversionError("faces: face " + std::to_string(f) + " has index " +
                                std::to_string(i) + ", outside 0 to " +
                                std::to_string(pointCount - 1));
        m.indices.push_back(static_cast<std::int32_t>(i));
      }
      m.offsets.push_back(static_cast<std::int64_t>(m.indices.size()));
    }
  }
  for (std::size_t f = 0; f + 1 < m.offsets.size(); ++f) {
    if (m.offsets[f + 1] - m.offsets[f] < 3)
      throw ConversionError("face " + std::to_string(f) + " has " +
                            std::to_string(m.offsets[f + 1] - m.offsets[f]) +
                            " corners; a face needs at least 3");
  }
  if (v.uvw) {
    m.uvw = readFloatRows3(*v.uvw);
    if (m.uvw.size() != m.indices.size())
      throw ConversionError(v.uvw->name + ": " + std::to_string(m.uvw.size()) + " rows for " +
                            std::to_string(m.indices.size()) + " corners; give one per corner");
  }
  if (v.ids) {
    const auto ids = readIntegers(*v.ids, kInt32Min, kInt32Max);
    if (ids.size() != m.faceCount())
      throw ConversionError(v.ids->name + ": " + std::to_string(ids.size()) + " values for " +
                            std::to_string(m.faceCount()) + " faces; give one per face");
    m.ids.assign(ids.begin(), ids.end());
  }
  for (const auto& [id, name] : v.names) checkName("names", name);
  checkName("name", v.name);
  m.names = v.names;
  m.name = v.name;
  return m;
}

geom::MeshFile toMeshFile(const Mesh& mesh) {
  geom::MeshFile f;
  f.points.reserve(mesh.points.size());
  f.points = mesh.points;
  f.polygons.reserve(mesh.faceCount());
  for (std::size_t i = 0; i < mesh.faceCount(); ++i) {
    f.polygons.emplace_back(mesh.indices.begin() + mesh.offsets[i],
                            mesh.indices.begin() + mesh.offsets[i + 1]);
  }
  f.uvw = mesh.uvw;
  FileNames n = fileNames(mesh);
  f.names = std::move(n.names);
  f.faceNames = std::move(n.faceNames);
  return f;
}

Mesh fromMeshFile(const geom::MeshFile& file, const std::string& defaultName,
                  const std::string& innerName) {
  Mesh m;
  m.points = file.points;
  m.offsets.reserve(file.polygons.size() + 1);
  for (const auto& poly : file.polygons) {
    m.indices.insert(m.indices.end(), poly.begin(), poly.end());
    m.offsets.push_back(static_cast<std::int64_t>(m.indices.size()));
  }
  m.uvw = file.uvw;
  cli::NameTable table(innerName);
  m.ids = table.faceIds(file, defaultName);
  for (const auto& [id, name] : table.entries()) m.names[id] = name;
  m.name = defaultName;
  return m;
}

cli::InputMesh toInputMesh(const Mesh& mesh, cli::NameTable& names, bool projectUv) {
  cli::InputMesh in;
  in.file = toMeshFile(mesh);
  in.ids = names.faceIds(in.file, mesh.name);
  if (projectUv && in.file.uvw.empty()) in.file.uvw = cli::boxUv(in.file);
  return in;
}

cli::HostArrays toHostArrays(const Mesh& mesh, cli::NameTable& names, bool projectUv) {
  cli::HostArrays a;
  a.points.reserve(mesh.points.size());
  for (const auto& p : mesh.points)
    a.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  a.description.reserve(mesh.indices.size() + mesh.faceCount());
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    a.description.insert(a.description.end(), mesh.indices.begin() + mesh.offsets[f],
                         mesh.indices.begin() + mesh.offsets[f + 1]);
    a.description.push_back(-2);
  }
  const FileNames n = fileNames(mesh);
  a.faceIds = names.faceIds(n.names, n.faceNames, mesh.faceCount(), mesh.name);
  if (!mesh.uvw.empty()) {
    a.uvw.assign(mesh.uvw.begin(), mesh.uvw.end());
  } else if (projectUv) {
    a.uvw = cli::boxUv(mesh.points, mesh.offsets, mesh.indices);
  }
  return a;
}

Mesh fromRecord(const cli::TopoMesh& record, const cli::NameTable& names) {
  Mesh m;
  m.points.reserve(record.points.size());
  for (const auto& p : record.points) m.points.push_back({p[0], p[1], p[2]});
  m.offsets.reserve(record.faceCount() + 1);
  m.indices.reserve(record.cornerCount());
  for (std::int32_t v : record.polygons) {
    if (v == -2) {
      m.offsets.push_back(static_cast<std::int64_t>(m.indices.size()));
    } else {
      m.indices.push_back(v);
    }
  }
  if (record.uvw.size() == m.indices.size()) m.uvw = record.uvw;
  if (record.faceInfo.size() == m.faceCount()) {
    m.ids.reserve(record.faceInfo.size());
    for (const auto& fi : record.faceInfo) m.ids.push_back(fi[1]);
  }
  for (const auto& [id, name] : names.entries()) m.names[id] = name;
  m.name = "result";
  return m;
}

cli::TopoMesh toRecord(const Mesh& mesh) {
  cli::TopoMesh t;
  t.points.reserve(mesh.points.size());
  for (const auto& p : mesh.points)
    t.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  t.polygons.reserve(mesh.indices.size() + mesh.faceCount());
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    t.polygons.insert(t.polygons.end(), mesh.indices.begin() + mesh.offsets[f],
                      mesh.indices.begin() + mesh.offsets[f + 1]);
    t.polygons.push_back(-2);
  }
  t.uvw = mesh.uvw;
  const std::vector<int> islands = cli::faceIslands(t);
  t.faceInfo.resize(mesh.faceCount());
  for (std::size_t f = 0; f < mesh.faceCount(); ++f)
    t.faceInfo[f] = {islands[f], mesh.ids.empty() ? cli::kCutFaceId : mesh.ids[f]};
  return t;
}

std::vector<Mesh> pieceMeshes(const cli::ResultMesh& result, const cli::NameTable& names) {
  std::vector<Mesh> out;
  const auto byPiece = cli::facesByPiece(result);
  std::vector<std::int32_t> local(result.points.size(), -1);
  for (std::size_t p = 0; p < byPiece.size(); ++p) {
    Mesh m;
    m.name = result.pieceName(p);
    for (const auto& [id, name] : names.entries()) m.names[id] = name;
    for (std::size_t f : byPiece[p]) {
      for (std::uint32_t c = result.firstCorner[f]; c < result.firstCorner[f + 1]; ++c) {
        const int v = result.faces[f][c - result.firstCorner[f]];
        std::int32_t& l = local[static_cast<std::size_t>(v)];
        if (l < 0) {
          l = static_cast<std::int32_t>(m.points.size());
          const auto& q = result.points[static_cast<std::size_t>(v)];
          m.points.push_back({q[0], q[1], q[2]});
        }
        m.indices.push_back(l);
        if (result.hasUv()) m.uvw.push_back(result.uvw[c]);
      }
      m.offsets.push_back(static_cast<std::int64_t>(m.indices.size()));
      m.ids.push_back(result.ids[f]);
    }
    for (std::size_t f : byPiece[p])
      for (int v : result.faces[f]) local[static_cast<std::size_t>(v)] = -1;
    out.push_back(std::move(m));
  }
  return out;
}

}  // namespace tslpy
