// glTF 2.0 binary output (GLB) through tinygltf.
#pragma once

#include <iosfwd>
#include <span>

#include "cli/name_table.h"
#include "cli/result_mesh.h"

namespace cli {

// One scene; per piece a node and a mesh named after it (result.pieceName); a node is placed at
// its piece's pivot where pivots has one (the node's translation, its vertices relative to it)
// and carries the piece's extras where result has them; per identifier in the piece
// one triangle primitive with the material named after the identifier (the cut faces' material
// is the inner name). Vertex attributes: POSITION, NORMAL (split at edges sharper than
// sharpAngleDegrees, flat per face at 0), TEXCOORD_0 (u, 1 - v of the UVW, when the result has
// it) and _FACE_ID (the identifier, float). Throws std::runtime_error when tinygltf cannot
// write; the caller checks the stream.
void writeGlb(const ResultMesh& result, const NameTable& names, double sharpAngleDegrees,
              std::span<const geom::Vec3> pivots, std::ostream& out);

}  // namespace cli
