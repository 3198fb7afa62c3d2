// One piece of a fracture as a mesh of its own: split out of a published record, handed to the
// node again to be broken further, and gathered with the others into the result written.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "cli/input_mesh.h"
#include "cli/mass_properties.h"
#include "cli/record.h"
#include "geom/mesh_files.h"

namespace cli {

struct PieceMesh {
  std::vector<std::array<float, 3>> points;
  std::vector<std::vector<int>> faces;    // point indices in winding order
  std::vector<std::array<float, 3>> uvw;  // one per corner in face order, or empty
  std::vector<std::int32_t> ids;          // identifier of every face (-2: a cut face)
  std::vector<int> islands;               // island of every face, counted from 0

  std::size_t cornerCount() const;
};

// The record's solids (an outward island with the cavities it encloses, as the files write
// them), each as a mesh of the points it uses, in the order of their first face.
std::vector<PieceMesh> splitSolids(const TopoMesh& record);

// The piece as the node's input arrays: points, -2 separated description, UVW per corner (when
// it has them) and identifiers per face.
HostArrays toHostArrays(const PieceMesh& piece);

// The piece as a mesh file, for placing centres inside it.
geom::MeshFile toMeshFile(const PieceMesh& piece);

// The properties of the solid the piece's faces bound.
MassProperties measure(const PieceMesh& piece);

// The pieces one after another as one record: the points of each, its faces, UVW (only when
// every piece has them), faceInfo (island, identifier) with islands counted on over the pieces.
// pieceOfFace gets the position in pieces of every face's piece.
TopoMesh gather(std::span<const PieceMesh* const> pieces, std::vector<int>& pieceOfFace);

}  // namespace cli
