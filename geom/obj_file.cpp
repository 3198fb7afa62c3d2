// OBJ through tinyobjloader's callback interface: LoadObj drops the name of a material its
// .mtl does not define, and names are what carries a face's identifier from file to file.
#include <tiny_obj_loader.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "geom/mesh_file_readers.h"

namespace geom::detail {
namespace {

struct ObjFace {
  std::vector<int> points;     // raw OBJ indices: 1-based, negative relative, 0 missing
  std::vector<int> texcoords;  // the same, per corner
  int material = -1;           // index into materials
  int group = -1;              // index into groups
};

// Names in the order they are first declared or used; the same name once.
class NameList {
 public:
  int add(const std::string& name) {
    const auto [it, added] = index_.emplace(name, static_cast<int>(names_.size()));
    if (added) names_.push_back(name);
    return it->second;
  }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
  std::map<std::string, int> index_;
};

struct ObjState {
  std::vector<Vec3> points;
  std::vector<std::array<float, 3>> texcoords;
  std::vector<ObjFace> faces;
  NameList materials, groups;
  int material = -1, group = -1;
};

std::string trimmed(const char* text) {
  std::string s = text ? text : "";
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

tinyobj::callback_t callbacks() {
  tinyobj::callback_t cb;
  cb.vertex_cb = [](void* s, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z,
                    tinyobj::real_t) {
    static_cast<ObjState*>(s)->points.push_back({x, y, z});
  };
  cb.texcoord_cb = [](void* s, tinyobj::real_t u, tinyobj::real_t v, tinyobj::real_t w) {
    static_cast<ObjState*>(s)->texcoords.push_back({u, v, w});
  };
  cb.index_cb = [](void* s, tinyobj::index_t* idx, int n) {
    auto& st = *static_cast<ObjState*>(s);
    ObjFace face;
    face.material = st.material;
    face.group = st.group;
    for (int c = 0; c < n; ++c) {
      face.points.push_back(idx[c].vertex_index);
      face.texcoords.push_back(idx[c].texcoord_index);
    }
    st.faces.push_back(std::move(face));
  };
  cb.usemtl_cb = [](void* s, const char* name, int) {
    auto& st = *static_cast<ObjState*>(s);
    const std::string n = trimmed(name);
    st.material = n.empty() ? -1 : st.materials.add(n);
  };
  cb.mtllib_cb = [](void* s, const tinyobj::material_t* m, int count) {
    // The .mtl's order first, so that the identifiers a run gives come back in its order.
    for (int i = 0; i < count; ++i) static_cast<ObjState*>(s)->materials.add(m[i].name);
  };
  cb.group_cb = [](void* s, const char** names, int count) {
    auto& st = *static_cast<ObjState*>(s);
    const std::string n = count > 0 ? trimmed(names[0]) : std::string();
    st.group = n.empty() ? -1 : st.groups.add(n);
  };
  return cb;
}

// A raw OBJ index as a 0-based one, or -1 when missing or out of range.
int resolve(int raw, std::size_t count) {
  const long long n = static_cast<long long>(count);
  const long long i = raw > 0 ? raw - 1LL : raw < 0 ? n + raw : -1;
  return i >= 0 && i < n ? static_cast<int>(i) : -1;
}

}  // namespace

MeshFile readObj(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail(path, "cannot open the file");
  std::string dir = std::filesystem::path(path).parent_path().string();
  if (!dir.empty()) dir += "/";
  tinyobj::MaterialFileReader materials(dir);
  ObjState st;
  std::string warn, err;
  if (!tinyobj::LoadObjWithCallback(in, callbacks(), &st, &materials, &warn, &err)) {
    std::string msg = err.empty() ? "cannot parse the obj file" : err;
    std::erase(msg, '\n');
    fail(path, msg);
  }

  MeshFile out;
  out.points = std::move(st.points);
  bool allUv = true, anyMaterial = false, anyGroup = false;
  for (const ObjFace& f : st.faces) {
    std::vector<int> face;
    for (std::size_t c = 0; c < f.points.size(); ++c) {
      const int v = resolve(f.points[c], out.points.size());
      if (v < 0) {
        fail(path, "face " + std::to_string(out.polygons.size()) + " refers to vertex " +
                       std::to_string(f.points[c]) + ", which does not exist");
      }
      face.push_back(v);
      const int t = resolve(f.texcoords[c], st.texcoords.size());
      if (t < 0) allUv = false;
      if (allUv) out.uvw.push_back(st.texcoords[static_cast<std::size_t>(t)]);
    }
    anyMaterial = anyMaterial || f.material >= 0;
    anyGroup = anyGroup || f.group >= 0;
    out.polygons.push_back(std::move(face));
  }
  if (!allUv) out.uvw.clear();
  if (anyMaterial || anyGroup) {
    out.names = anyMaterial ? st.materials.names() : st.groups.names();
    for (const ObjFace& f : st.faces) out.faceNames.push_back(anyMaterial ? f.material : f.group);
  }
  return out;
}

}  // namespace geom::detail
