// The mesh the Python module hands to nodes and gets back: points, polygons as corner offsets and
// indices, UVW per corner and an identifier per face with names, as our files carry them. Free
// of Python; the bindings only view its arrays.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/input_mesh.h"
#include "cli/name_table.h"
#include "cli/record.h"
#include "cli/result_mesh.h"
#include "geom/mesh_files.h"
#include "python/array_view.h"

namespace tslpy {

struct Mesh {
  std::vector<geom::Vec3> points;
  std::vector<std::int64_t> offsets{0};       // face f's corners are [offsets[f], offsets[f+1])
  std::vector<std::int32_t> indices;          // point of every corner
  std::vector<std::array<float, 3>> uvw;      // one per corner, or empty
  std::vector<std::int32_t> ids;              // identifier of every face, or empty
  std::map<std::int32_t, std::string> names;  // names of identifiers (-2: the cut faces)
  std::string name = "mesh";                  // the name faces without an identifier take

  std::size_t faceCount() const { return offsets.size() - 1; }
};

// The views given for a new mesh; faces come either as offsets and indices or as lists.
struct MeshViews {
  ArrayView points;                  // (N, 3) floating
  std::optional<ArrayView> offsets;  // (F + 1,) integers from 0, non-decreasing, last = C
  std::optional<ArrayView> indices;  // (C,) integers in [0, N)
  std::vector<std::vector<std::int64_t>> faces;  // instead of offsets and indices
  std::optional<ArrayView> uvw;                  // (C, 3) floating
  std::optional<ArrayView> ids;                  // (F,) 32-bit integers
  std::map<std::int32_t, std::string> names;
  std::string name = "mesh";
};

// A mesh from views, every array checked and copied once. Throws ConversionError naming the
// argument and what is wrong: a shape, a type, a point that is not finite, an index out of
// range, a face of fewer than three corners, offsets that do not count the corners, a name that
// is empty or not one line.
Mesh makeMesh(const MeshViews& views);

// The mesh file a reader would give for the mesh: names in identifier order (an identifier
// without a name is named by its number), -2 faces marked as cut.
geom::MeshFile toMeshFile(const Mesh& mesh);

// A file read through a fresh name table, as the command numbers it: identifiers on every face,
// names of every identifier the table holds (the cut faces' among them).
Mesh fromMeshFile(const geom::MeshFile& file, const std::string& defaultName,
                  const std::string& innerName);

// The mesh as a node input of the command: identifiers through names (in the order the command
// numbers a file's names), boxUv's UVs when projectUv and it has none.
cli::InputMesh toInputMesh(const Mesh& mesh, cli::NameTable& names, bool projectUv);

// The same as cli::toHostArrays(toInputMesh(...)), made in one pass without the mesh file.
cli::HostArrays toHostArrays(const Mesh& mesh, cli::NameTable& names, bool projectUv);

// A published record as a mesh: points widened to double, identifiers from faceInfo, names from
// the run's table.
Mesh fromRecord(const cli::TopoMesh& record, const cli::NameTable& names);

// The mesh as a record for the writers: float points, faceInfo of island (connected faces) and
// identifier (-2 without identifiers).
cli::TopoMesh toRecord(const Mesh& mesh);

// One mesh per piece of result, of the points its faces use in the order of first use, named
// after the piece.
std::vector<Mesh> pieceMeshes(const cli::ResultMesh& result, const cli::NameTable& names);

}  // namespace tslpy
