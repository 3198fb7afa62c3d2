// PLY through CGAL's PLY reader, element by element: its polygon-soup reader skips every
// property but the indices, and our own files carry identifiers, islands and UVs per face.
#include <CGAL/IO/PLY.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>

#include "geom/mesh_file_readers.h"

namespace geom::detail {
namespace {

namespace ply = CGAL::IO::internal;

// "identifier 3 steel" comment lines: the names our writer gives its face_id values.
std::map<int, std::string> identifierComments(const std::string& comments) {
  std::map<int, std::string> out;
  std::istringstream lines(comments);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string key;
    int id = 0;
    if (!(words >> key >> id) || key != "identifier") continue;
    std::string name;
    std::getline(words >> std::ws, name);
    if (!name.empty()) out[id] = name;
  }
  return out;
}

template <class T>
bool listOf(ply::PLY_element& e, const char* tag) {
  return e.has_property<std::vector<T>>(tag);
}

// The face's corner indices, whichever of the usual names and integer types the file uses.
bool faceIndices(ply::PLY_element& e, std::vector<long long>& out) {
  out.clear();
  for (const char* tag : {"vertex_indices", "vertex_index"}) {
    auto take = [&](auto sample) {
      using T = decltype(sample);
      if (!listOf<T>(e, tag)) return false;
      std::vector<T> v;
      e.assign(v, tag);
      out.assign(v.begin(), v.end());
      return true;
    };
    if (take(std::int32_t{}) || take(std::uint32_t{}) || take(std::int16_t{}) ||
        take(std::uint16_t{}) || take(std::int8_t{}) || take(std::uint8_t{}))
      return true;
  }
  return false;
}

// An integer face property of any integer type, or false when the face has none.
bool faceInteger(ply::PLY_element& e, const char* tag, long long& out) {
  auto take = [&](auto sample) {
    using T = decltype(sample);
    if (!e.has_property<T>(tag)) return false;
    T v{};
    e.assign(v, tag);
    out = v;
    return true;
  };
  return take(std::int32_t{}) || take(std::uint32_t{}) || take(std::int16_t{}) ||
         take(std::uint16_t{}) || take(std::int8_t{}) || take(std::uint8_t{});
}

bool readItem(ply::PLY_element& e, std::istream& in) {
  for (std::size_t k = 0; k < e.number_of_properties(); ++k) {
    e.property(k)->get(in);
    if (in.fail()) return false;
  }
  return true;
}

}  // namespace

MeshFile readPly(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot open the file");
  ply::PLY_reader reader(/*verbose=*/false);
  if (!reader.init(in)) fail(path, "cannot parse the ply header");
  const std::map<int, std::string> commentNames = identifierComments(reader.comments());

  MeshFile out;
  bool vertices = false, faces = false, allUv = true;
  std::vector<long long> faceIds;  // face_id of every face, when the faces have one
  std::vector<long long> corners;
  for (std::size_t i = 0; i < reader.number_of_elements(); ++i) {
    ply::PLY_element& e = reader.element(i);
    const bool isVertex = e.name() == "vertex" || e.name() == "vertices";
    const bool isFace = e.name() == "face" || e.name() == "faces";
    if (isVertex && !(e.has_property<double>("x") && e.has_property<double>("y") &&
                      e.has_property<double>("z"))) {
      fail(path, "the vertices have no float or double x, y, z");
    }
    const bool hasIsland = isFace && e.has_property<std::int32_t>("island");
    const bool hasUv = isFace && listOf<float>(e, "uvw");
    for (std::size_t j = 0; j < e.number_of_items(); ++j) {
      if (!readItem(e, in)) {
        fail(path, "the file ends or breaks off in " + e.name() + " " + std::to_string(j));
      }
      if (isVertex) {
        double x = 0, y = 0, z = 0;
        e.assign(x, "x");
        e.assign(y, "y");
        e.assign(z, "z");
        out.points.push_back({x, y, z});
      } else if (isFace) {
        if (!faceIndices(e, corners)) fail(path, "the faces have no vertex_indices list");
        std::vector<int> face;
        for (long long v : corners) {
          if (v < 0 || static_cast<std::size_t>(v) >= out.points.size()) {
            fail(path, "face " + std::to_string(j) + " refers to point " + std::to_string(v) +
                           " of " + std::to_string(out.points.size()));
          }
          face.push_back(static_cast<int>(v));
        }
        long long id = 0;
        if (faceInteger(e, "face_id", id)) faceIds.push_back(id);
        if (hasIsland) {
          std::int32_t island = 0;
          e.assign(island, "island");
          out.islands.push_back(island);
        }
        if (hasUv) {
          std::vector<float> uvw;
          e.assign(uvw, "uvw");
          if (uvw.size() != 3 * face.size()) {
            fail(path, "face " + std::to_string(j) + " has " + std::to_string(uvw.size()) +
                           " uvw values for " + std::to_string(face.size()) +
                           " corners (3 per corner)");
          }
          for (std::size_t c = 0; c < face.size(); ++c)
            out.uvw.push_back({uvw[3 * c], uvw[3 * c + 1], uvw[3 * c + 2]});
        }
        out.polygons.push_back(std::move(face));
      }
    }
    vertices = vertices || isVertex;
    faces = faces || isFace;
    allUv = allUv && (!isFace || hasUv);
  }
  if (!vertices) fail(path, "the file has no vertex element");
  if (!allUv || !faces) out.uvw.clear();
  // Every name the file declares and every number its faces use, in the order of the numbers,
  // so that a run numbers them as the writer did.
  if (!faceIds.empty() || !commentNames.empty()) {
    std::map<long long, std::string> byId(commentNames.begin(), commentNames.end());
    for (long long id : faceIds) byId.emplace(id, std::to_string(id));
    std::map<long long, int> index;
    for (const auto& [id, name] : byId) {
      index[id] = static_cast<int>(out.names.size());
      out.names.push_back(name);
    }
    for (long long id : faceIds) out.faceNames.push_back(index[id]);
  }
  return out;
}

}  // namespace geom::detail
