#include "cli/gltf_output.h"

#include <tiny_gltf.h>

#include <bit>
#include <map>
#include <ostream>
#include <stdexcept>
#include <tuple>

#include "cli/palette.h"
#include "cli/shading.h"

namespace cli {
namespace {

// The vertices of one piece: a corner becomes a new vertex unless an earlier one has the same
// point, smooth group, UV and identifier.
struct PieceVertices {
  geom::Vec3 pivot;  // the node's translation: positions are relative to it
  std::vector<float> positions, normals, uvs, ids;
  // UVs by their bits: a NaN from a broken input must not break the map's ordering.
  std::map<std::tuple<int, std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t>,
           std::uint32_t>
      index;

  std::uint32_t add(const ResultMesh& r, const Shading& s, std::size_t f, std::uint32_t corner) {
    const int point = r.faces[f][corner - r.firstCorner[f]];
    const float u = r.hasUv() ? r.uvw[corner][0] : 0.0f;
    const float v = r.hasUv() ? 1.0f - r.uvw[corner][1] : 0.0f;
    const auto key = std::make_tuple(point, s.smoothGroup[corner], std::bit_cast<std::uint32_t>(u),
                                     std::bit_cast<std::uint32_t>(v), r.ids[f]);
    const auto [it, added] = index.emplace(key, static_cast<std::uint32_t>(ids.size()));
    if (!added) return it->second;
    const auto& p = r.points[static_cast<std::size_t>(point)];
    positions.insert(positions.end(),
                     {static_cast<float>(p[0] - pivot.x), static_cast<float>(p[1] - pivot.y),
                      static_cast<float>(p[2] - pivot.z)});
    const geom::Vec3& n = s.cornerNormals[corner];
    normals.insert(normals.end(),
                   {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
    uvs.insert(uvs.end(), {u, v});
    ids.push_back(static_cast<float>(r.ids[f]));
    return it->second;
  }
};

class Builder {
 public:
  explicit Builder(tinygltf::Model& m) : m_(m) { m_.buffers.emplace_back(); }

  // A buffer view over data (4-byte aligned) and an accessor of count elements over it.
  template <class T>
  int accessor(const std::vector<T>& data, int type, int componentType, std::size_t count,
               int target) {
    auto& bytes = m_.buffers[0].data;
    while (bytes.size() % 4 != 0) bytes.push_back(0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = bytes.size();
    view.byteLength = data.size() * sizeof(T);
    view.target = target;
    const auto* raw = reinterpret_cast<const unsigned char*>(data.data());
    bytes.insert(bytes.end(), raw, raw + view.byteLength);
    m_.bufferViews.push_back(view);
    tinygltf::Accessor a;
    a.bufferView = static_cast<int>(m_.bufferViews.size() - 1);
    a.componentType = componentType;
    a.type = type;
    a.count = count;
    m_.accessors.push_back(a);
    return static_cast<int>(m_.accessors.size() - 1);
  }

  int positions(const std::vector<float>& p) {
    const int a = accessor(p, TINYGLTF_TYPE_VEC3, TINYGLTF_COMPONENT_TYPE_FLOAT, p.size() / 3,
                           TINYGLTF_TARGET_ARRAY_BUFFER);
    auto& acc = m_.accessors[static_cast<std::size_t>(a)];
    acc.minValues = {p[0], p[1], p[2]};
    acc.maxValues = acc.minValues;
    for (std::size_t i = 0; i < p.size(); ++i) {
      acc.minValues[i % 3] = std::min(acc.minValues[i % 3], double{p[i]});
      acc.maxValues[i % 3] = std::max(acc.maxValues[i % 3], double{p[i]});
    }
    return a;
  }

 private:
  tinygltf::Model& m_;
};

// name with every byte that is not part of a well-formed UTF-8 sequence replaced by U+FFFD:
// glTF is JSON, which must be UTF-8, and names come from files in any encoding.
std::string utf8(const std::string& name) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(name.data());
  const std::size_t n = name.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    std::size_t len = c < 0x80           ? 1
                      : (c >> 5) == 0x6  ? 2
                      : (c >> 4) == 0xE  ? 3
                      : (c >> 3) == 0x1E ? 4
                                         : 0;
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) ok = (s[i + k] & 0xC0) == 0x80;
    if (ok && len > 1) {
      // Overlong forms, surrogates and values past U+10FFFF are not well-formed either.
      std::uint32_t cp = c & (0x7F >> len);
      for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
      const std::uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
      ok = cp >= least[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    }
    if (ok) {
      out.append(name, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

tinygltf::Material material(const std::string& name, std::int32_t id) {
  tinygltf::Material mat;
  mat.name = utf8(name);
  const Rgb c = identifierColour(id);
  mat.pbrMetallicRoughness.baseColorFactor = {c[0], c[1], c[2], 1.0};
  mat.pbrMetallicRoughness.metallicFactor = 0.0;
  mat.pbrMetallicRoughness.roughnessFactor = 0.8;
  return mat;
}

// A JSON value as glTF extras.
tinygltf::Value valueOf(const nlohmann::ordered_json& j) {
  switch (j.type()) {
    case nlohmann::ordered_json::value_t::object: {
      tinygltf::Value::Object o;
      for (const auto& [k, v] : j.items()) o[utf8(k)] = valueOf(v);
      return tinygltf::Value(std::move(o));
    }
    case nlohmann::ordered_json::value_t::array: {
      tinygltf::Value::Array a;
      for (const auto& v : j) a.push_back(valueOf(v));
      return tinygltf::Value(std::move(a));
    }
    case nlohmann::ordered_json::value_t::string:
      return tinygltf::Value(utf8(j.get<std::string>()));
    case nlohmann::ordered_json::value_t::boolean:
      return tinygltf::Value(j.get<bool>());
    case nlohmann::ordered_json::value_t::number_integer:
    case nlohmann::ordered_json::value_t::number_unsigned:
      return tinygltf::Value(static_cast<int>(j.get<long long>()));
    case nlohmann::ordered_json::value_t::number_float:
      return tinygltf::Value(j.get<double>());
    default:
      return tinygltf::Value();
  }
}

}  // namespace

void writeGlb(const ResultMesh& r, const NameTable& names, double sharpAngleDegrees,
              std::span<const geom::Vec3> pivots, std::ostream& out) {
  const Shading s = shade(r, sharpAngleDegrees);
  tinygltf::Model m;
  m.asset.version = "2.0";
  m.asset.generator = "tessellon";
  m.scenes.emplace_back();
  m.defaultScene = 0;
  Builder b(m);
  std::map<std::int32_t, int> materialOf;

  const auto byPiece = facesByPiece(r);
  for (std::size_t piece = 0; piece < byPiece.size(); ++piece) {
    PieceVertices verts;
    if (piece < pivots.size()) verts.pivot = pivots[piece];
    std::map<std::int32_t, std::vector<std::uint32_t>> indicesById;
    for (std::size_t f : byPiece[piece]) {
      auto& indices = indicesById[r.ids[f]];
      for (const auto& t : s.triangles[f]) {
        for (std::uint32_t slot : t) indices.push_back(verts.add(r, s, f, r.firstCorner[f] + slot));
      }
    }
    tinygltf::Mesh mesh;
    mesh.name = utf8(r.pieceName(piece));
    std::map<std::string, int> attributes;
    for (auto& [id, indices] : indicesById) {
      if (indices.empty()) continue;
      if (attributes.empty()) {
        attributes["POSITION"] = b.positions(verts.positions);
        const std::size_t n = verts.ids.size();
        attributes["NORMAL"] =
            b.accessor(verts.normals, TINYGLTF_TYPE_VEC3, TINYGLTF_COMPONENT_TYPE_FLOAT, n,
                       TINYGLTF_TARGET_ARRAY_BUFFER);
        if (r.hasUv()) {
          attributes["TEXCOORD_0"] =
              b.accessor(verts.uvs, TINYGLTF_TYPE_VEC2, TINYGLTF_COMPONENT_TYPE_FLOAT, n,
                         TINYGLTF_TARGET_ARRAY_BUFFER);
        }
        attributes["_FACE_ID"] =
            b.accessor(verts.ids, TINYGLTF_TYPE_SCALAR, TINYGLTF_COMPONENT_TYPE_FLOAT, n,
                       TINYGLTF_TARGET_ARRAY_BUFFER);
      }
      if (!materialOf.count(id)) {
        materialOf[id] = static_cast<int>(m.materials.size());
        m.materials.push_back(material(names.nameOf(id), id));
      }
      tinygltf::Primitive prim;
      prim.attributes = attributes;
      prim.material = materialOf[id];
      prim.mode = TINYGLTF_MODE_TRIANGLES;
      prim.indices = b.accessor(indices, TINYGLTF_TYPE_SCALAR, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
                                indices.size(), TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
      mesh.primitives.push_back(std::move(prim));
    }
    // A piece of faces without area has nothing to draw; glTF wants no empty mesh.
    if (mesh.primitives.empty()) continue;
    m.meshes.push_back(std::move(mesh));
    tinygltf::Node node;
    node.name = utf8(r.pieceName(piece));
    node.mesh = static_cast<int>(m.meshes.size() - 1);
    if (piece < pivots.size()) {
      const geom::Vec3& c = pivots[piece];
      if (c.x != 0 || c.y != 0 || c.z != 0) node.translation = {c.x, c.y, c.z};
    }
    if (piece < r.pieceExtras.size()) node.extras = valueOf(r.pieceExtras[piece]);
    m.nodes.push_back(std::move(node));
    m.scenes[0].nodes.push_back(static_cast<int>(m.nodes.size() - 1));
  }
  if (m.buffers[0].data.empty()) m.buffers.clear();
  tinygltf::TinyGLTF writer;
  if (!writer.WriteGltfSceneToStream(&m, out, /*prettyPrint=*/false, /*writeBinary=*/true)) {
    throw std::runtime_error("tinygltf could not write the glTF file");
  }
}

}  // namespace cli
