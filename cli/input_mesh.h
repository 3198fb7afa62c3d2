// Reading an input mesh file for a node: identifiers through the run's name table, UVs for a
// file that has none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cli/name_table.h"
#include "geom/mesh_files.h"
#include "host/host.h"

namespace cli {

struct InputMesh {
  geom::MeshFile file;
  std::vector<std::int32_t> ids;  // one per face, from names
};

// Reads path (geom::readMeshFile; throws geom::Error). Faces get identifiers from names (faces
// without a name: the file's own name); a file without texture coordinates gets boxUv's when
// projectUv is set.
InputMesh readInput(const std::string& path, NameTable& names, bool projectUv);

// Per corner, in face order: the two coordinates other than the axis nearest the face's
// normal, w 0 (the same box projection every face, so neighbours on a flat side match).
std::vector<std::array<float, 3>> boxUv(const geom::MeshFile& file);
// The same for faces given by corner offsets: face f is corners[offsets[f]] up to before
// corners[offsets[f + 1]]. Requires offsets non-decreasing within corners and indices within
// points.
std::vector<std::array<float, 3>> boxUv(const std::vector<geom::Vec3>& points,
                                        std::span<const std::int64_t> offsets,
                                        std::span<const std::int32_t> corners);

// The mesh as host arrays: float points, -2 separated description, UVW per corner (may be
// empty), identifiers per face.
struct HostArrays {
  std::vector<host::Vec3f> points;
  std::vector<std::int32_t> description;
  std::vector<host::Vec3f> uvw;
  std::vector<std::int32_t> faceIds;
};
HostArrays toHostArrays(const InputMesh& mesh);

// Connects mesh to the node's ports: points and description always, UVW and face identifiers
// when the mesh has them (an unconnected port delivers its default).
void connectMesh(host::Host& h, const HostArrays& mesh, std::uint32_t points,
                 std::uint32_t description, std::uint32_t uvw, std::uint32_t faceIds);

}  // namespace cli
