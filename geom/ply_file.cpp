// PLY through CGAL's PLY reader, element by element: its polygon-soup reader skips every
// property but the indices, and our own files carry identifiers, islands and UVs per face.
#include <CGAL/IO/PLY.h>

#include <cstdint>
#include <filesystem>
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

// The count at the front of a list property, read ahead without moving the stream, when p is
// a list whose count has type S and whose values have one of the PLY types.
template <class S, class... T>
bool countAs(ply::PLY_read_number* p, std::istream& in, unsigned long long& count) {
  if (!(dynamic_cast<ply::PLY_read_typed_list_with_typed_size<S, T>*>(p) || ...)) return false;
  const auto at = in.tellg();
  const S n = p->template read<S>(in);
  // A negative count is as impossible as a huge one.
  count = n < 0 ? ~0ULL : static_cast<unsigned long long>(n);
  in.clear();
  in.seekg(at);
  return true;
}

template <class... S>
bool listCount(ply::PLY_read_number* p, std::istream& in, unsigned long long& count) {
  return (countAs<S, std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                  std::uint32_t, float, double>(p, in, count) ||
          ...);
}

// Reads one item's properties. CGAL's reader sizes a list by its count before it reads a value,
// so a broken count (a few bytes saying four billion) would allocate gigabytes and spend minutes
// on them: every value takes at least a byte of the file, so a count beyond the bytes left is
// refused first. Returns false, with why, when the item cannot be read.
bool readItem(ply::PLY_element& e, std::istream& in, std::uintmax_t fileSize, std::string& why) {
  for (std::size_t k = 0; k < e.number_of_properties(); ++k) {
    ply::PLY_read_number* p = e.property(k);
    unsigned long long count = 0;
    if (listCount<std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                  std::uint32_t>(p, in, count)) {
      const auto at = in.tellg();
      const std::uintmax_t left = at < 0 ? 0 : fileSize - static_cast<std::uintmax_t>(at);
      if (count > left) {
        why = "its " + p->name() + " list claims " +
              (count == ~0ULL ? std::string("a negative number of") : std::to_string(count)) +
              " values, more than the file holds";
        return false;
      }
    }
    p->get(in);
    if (in.fail()) {
      why = "the file ends or breaks off there";
      return false;
    }
  }
  return true;
}

}  // namespace

// CGAL's header reader adds a property to the last element it has seen; a property line
// before any element line would go to an element that does not exist.
void checkHeaderOrder(const std::string& path, std::istream& in) {
  std::string line, word;
  bool element = false;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    if (!(words >> word)) continue;
    if (word == "end_header") break;
    if (word == "element") element = true;
    if (word == "property" && !element) fail(path, "a property comes before any element");
  }
  in.clear();
  in.seekg(0);
}

MeshFile readPly(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot open the file");
  std::error_code ec;
  const std::uintmax_t fileSize = std::filesystem::file_size(path, ec);
  if (ec) fail(path, "cannot read the file size (" + ec.message() + ")");
  checkHeaderOrder(path, in);
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
    // Per-face values are kept per element; a second element of faces (or points) would leave
    // them out of step with the faces.
    if ((isVertex && vertices) || (isFace && faces)) {
      fail(path, std::string("more than one ") + (isVertex ? "vertex" : "face") + " element");
    }
    if (isVertex && !(e.has_property<double>("x") && e.has_property<double>("y") &&
                      e.has_property<double>("z"))) {
      fail(path, "the vertices have no float or double x, y, z");
    }
    // An item takes at least one byte when its element has properties and none otherwise, so
    // a count without properties, however large, says nothing to read.
    if (e.number_of_properties() == 0) {
      if (isFace && e.number_of_items() > 0) fail(path, "the faces have no vertex_indices list");
      faces = faces || isFace;
      continue;
    }
    if (e.number_of_items() > fileSize) {
      fail(path, e.name() + ": " + std::to_string(e.number_of_items()) +
                     " items claimed, more than the file holds");
    }
    const bool hasIsland = isFace && e.has_property<std::int32_t>("island");
    const bool hasUv = isFace && listOf<float>(e, "uvw");
    for (std::size_t j = 0; j < e.number_of_items(); ++j) {
      if (std::string why; !readItem(e, in, fileSize, why)) {
        fail(path, e.name() + " " + std::to_string(j) + ": " + why);
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
    // -2 is what the nodes give faces without an identifier; unnamed, it stays that.
    for (long long id : faceIds) {
      if (id != MeshFile::kCutFace) byId.emplace(id, std::to_string(id));
    }
    std::map<long long, int> index;
    for (const auto& [id, name] : byId) {
      index[id] = static_cast<int>(out.names.size());
      out.names.push_back(name);
    }
    for (long long id : faceIds) {
      const auto it = index.find(id);
      out.faceNames.push_back(it != index.end() ? it->second : MeshFile::kCutFace);
    }
  }
  return out;
}

}  // namespace geom::detail
