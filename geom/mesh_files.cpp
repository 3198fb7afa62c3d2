#include "geom/mesh_files.h"

#include <CGAL/IO/OFF.h>
#include <CGAL/IO/PLY.h>
#include <CGAL/IO/STL.h>
#include <CGAL/Simple_cartesian.h>
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "geom/error.h"

namespace geom {
namespace {

using Point = CGAL::Simple_cartesian<double>::Point_3;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw Error(path + ": " + what);
}

std::string lowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

MeshFile readSoup(const std::string& path, const std::string& ext) {
  std::vector<Point> pts;
  std::vector<std::vector<std::size_t>> polys;
  bool ok = false;
  {
    // CGAL's readers print their own diagnostics on std::cerr; ours is the one-line error.
    if (ext == ".off") ok = CGAL::IO::read_OFF(path, pts, polys, CGAL::parameters::verbose(false));
    if (ext == ".ply") ok = CGAL::IO::read_PLY(path, pts, polys, CGAL::parameters::verbose(false));
    if (ext == ".stl") ok = CGAL::IO::read_STL(path, pts, polys, CGAL::parameters::verbose(false));
  }
  if (!ok) fail(path, "cannot parse the " + ext.substr(1) + " file");
  MeshFile out;
  out.points.reserve(pts.size());
  for (const Point& p : pts) out.points.push_back({p.x(), p.y(), p.z()});
  out.polygons.reserve(polys.size());
  for (const auto& poly : polys) {
    std::vector<int> face;
    face.reserve(poly.size());
    for (std::size_t i : poly) {
      if (i >= pts.size())
        fail(path, "a polygon refers to point " + std::to_string(i) + " of " +
                       std::to_string(pts.size()));
      face.push_back(static_cast<int>(i));
    }
    out.polygons.push_back(std::move(face));
  }
  return out;
}

MeshFile readObj(const std::string& path) {
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warn, err;
  // Materials come from the file's own .mtl beside it; without one, groups give the ids.
  std::string dir = std::filesystem::path(path).parent_path().string();
  if (!dir.empty()) dir += "/";
  const bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(),
                                   dir.c_str(), /*triangulate=*/false,
                                   /*default_vcols_fallback=*/false);
  if (!ok) {
    std::string msg = err.empty() ? "cannot parse the obj file" : err;
    msg.erase(std::remove(msg.begin(), msg.end(), '\n'), msg.end());
    fail(path, msg);
  }
  MeshFile out;
  const std::size_t np = attrib.vertices.size() / 3;
  out.points.reserve(np);
  for (std::size_t i = 0; i < np; ++i) {
    out.points.push_back(
        {attrib.vertices[3 * i], attrib.vertices[3 * i + 1], attrib.vertices[3 * i + 2]});
  }
  bool allUv = true, anyMaterial = false;
  std::vector<int> shapeOf, materialOf;
  for (std::size_t s = 0; s < shapes.size(); ++s) {
    const tinyobj::mesh_t& mesh = shapes[s].mesh;
    std::size_t k = 0;
    for (std::size_t f = 0; f < mesh.num_face_vertices.size(); ++f) {
      std::vector<int> face;
      for (unsigned c = 0; c < mesh.num_face_vertices[f]; ++c, ++k) {
        const tinyobj::index_t& idx = mesh.indices[k];
        if (idx.vertex_index < 0 || static_cast<std::size_t>(idx.vertex_index) >= np) {
          fail(path, "a face refers to a vertex that does not exist");
        }
        face.push_back(idx.vertex_index);
        const std::size_t nt = attrib.texcoords.size() / 2;
        if (idx.texcoord_index < 0 || static_cast<std::size_t>(idx.texcoord_index) >= nt) {
          allUv = false;
        } else if (allUv) {
          const auto t = static_cast<std::size_t>(idx.texcoord_index);
          const float w = t < attrib.texcoord_ws.size() ? attrib.texcoord_ws[t] : 0.0f;
          out.uvw.push_back({attrib.texcoords[2 * t], attrib.texcoords[2 * t + 1], w});
        }
      }
      const int material = f < mesh.material_ids.size() ? mesh.material_ids[f] : -1;
      anyMaterial = anyMaterial || material >= 0;
      materialOf.push_back(material);
      shapeOf.push_back(static_cast<int>(s));
      out.polygons.push_back(std::move(face));
    }
  }
  if (!allUv) out.uvw.clear();
  if (anyMaterial) {
    out.faceIds = std::move(materialOf);
  } else if (shapes.size() > 1) {
    out.faceIds = std::move(shapeOf);
  }
  return out;
}

}  // namespace

MeshFile readMeshFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) fail(path, "no such file");
  if (std::filesystem::is_directory(path, ec)) fail(path, "is a directory");
  if (!std::ifstream(path)) fail(path, "cannot open the file");
  const std::string ext = lowerExtension(path);
  try {
    if (ext == ".obj") return readObj(path);
    if (ext == ".off" || ext == ".ply" || ext == ".stl") return readSoup(path, ext);
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    fail(path, std::string("cannot read the file (") + e.what() + ")");
  }
  fail(path, "unknown mesh format '" + ext + "' (expected .obj, .off, .ply or .stl)");
}

}  // namespace geom
