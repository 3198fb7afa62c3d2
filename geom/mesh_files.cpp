#include "geom/mesh_files.h"

#include <CGAL/IO/STL.h>
#include <CGAL/Simple_cartesian.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "geom/error.h"
#include "geom/mesh_file_readers.h"

namespace geom {
namespace detail {

using Point = CGAL::Simple_cartesian<double>::Point_3;

void fail(const std::string& path, const std::string& what) {
  throw Error(path + ": " + what);
}

MeshFile readStl(const std::string& path) {
  std::vector<Point> pts;
  std::vector<std::vector<std::size_t>> polys;
  // CGAL's readers print their own diagnostics on std::cerr; ours is the one-line error.
  if (!CGAL::IO::read_STL(path, pts, polys, CGAL::parameters::verbose(false)))
    fail(path, "cannot parse the stl file");
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

}  // namespace detail

namespace {

std::string lowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

}  // namespace

MeshFile readMeshFile(const std::string& path) {
  using detail::fail;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) fail(path, "no such file");
  if (std::filesystem::is_directory(path, ec)) fail(path, "is a directory");
  if (!std::ifstream(path)) fail(path, "cannot open the file");
  const std::string ext = lowerExtension(path);
  try {
    if (ext == ".obj") return detail::readObj(path);
    if (ext == ".ply") return detail::readPly(path);
    if (ext == ".off") return detail::readOff(path);
    if (ext == ".stl") return detail::readStl(path);
  } catch (const Error&) {
    throw;
  } catch (const std::bad_alloc&) {
    fail(path, "not enough memory to read the file (a count in it may be broken)");
  } catch (const std::exception& e) {
    fail(path, std::string("cannot read the file (") + e.what() + ")");
  }
  fail(path, "unknown mesh format '" + ext + "' (expected .obj, .off, .ply or .stl)");
}

}  // namespace geom
