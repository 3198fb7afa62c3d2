#include "geom/mesh_files.h"

#include <CGAL/IO/OFF/File_scanner_OFF.h>
#include <CGAL/IO/STL.h>
#include <CGAL/Simple_cartesian.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>

#include "geom/error.h"
#include "geom/mesh_file_readers.h"

namespace geom {
namespace detail {

using Point = CGAL::Simple_cartesian<double>::Point_3;

void fail(const std::string& path, const std::string& what) {
  throw Error(path + ": " + what);
}

namespace {

// OFF through CGAL's scanner rather than its read_OFF, which sizes its arrays by the counts in
// the file before reading a value: a header or a face that claims a few hundred million entries
// cost gigabytes and half a minute before the read failed. Every entry takes at least one byte,
// so no honest count exceeds the file's size.
MeshFile readOff(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
  std::ifstream is(path, std::ios::binary);
  if (ec || !is) fail(path, "cannot open the file");
  CGAL::File_scanner_OFF scanner(is, /*verbose=*/false);
  if (is.fail()) fail(path, "cannot parse the off file");
  const std::size_t nv = scanner.size_of_vertices(), nf = scanner.size_of_facets();
  if (nv > bytes || nf > bytes || nv > std::size_t(std::numeric_limits<int>::max()))
    fail(path, "cannot parse the off file (it counts " + std::to_string(nv) + " points and " +
                   std::to_string(nf) + " faces in " + std::to_string(bytes) + " bytes)");
  MeshFile out;
  out.points.reserve(nv);
  for (std::size_t i = 0; i < nv; ++i) {
    double x = 0, y = 0, z = 0, w = 1;
    scanner.scan_vertex(x, y, z, w);
    // The optional per-point entries are read only to get past them.
    if (scanner.has_normals()) {
      double nx, ny, nz;
      scanner.scan_normal(nx, ny, nz);
    }
    if (scanner.has_vcolors()) {
      unsigned char r, g, b;
      scanner.scan_color(r, g, b);
    }
    if (scanner.has_textures()) {
      double u, v;
      scanner.scan_texture(u, v);
    }
    if (!is.good()) fail(path, "cannot parse the off file (point " + std::to_string(i) + ")");
    out.points.push_back({x / w, y / w, z / w});
  }
  out.polygons.reserve(nf);
  for (std::size_t f = 0; f < nf; ++f) {
    std::size_t corners = std::size_t(-1);
    scanner.scan_facet(corners, f);
    if ((!is.eof() && !is.good()) || corners > bytes)
      fail(path, "cannot parse the off file (face " + std::to_string(f) + ")");
    std::vector<int> face;
    face.reserve(corners);
    for (std::size_t j = 0; j < corners; ++j) {
      std::size_t id = 0;
      scanner.scan_facet_vertex_index(id, j + 1, f);
      if (!is) fail(path, "cannot parse the off file (face " + std::to_string(f) + ")");
      face.push_back(static_cast<int>(id));  // the scanner refuses an index past the points
    }
    if (scanner.has_fcolors()) {
      unsigned char r, g, b;
      scanner.scan_color(r, g, b);
    }
    out.polygons.push_back(std::move(face));
  }
  if (is.fail()) fail(path, "cannot parse the off file");
  return out;
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

}  // namespace

MeshFile readSoup(const std::string& path, const std::string& ext) {
  return ext == ".off" ? readOff(path) : readStl(path);
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
    if (ext == ".off" || ext == ".stl") return detail::readSoup(path, ext);
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
