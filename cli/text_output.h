// The text formats a result is written in: Wavefront OBJ with its material library, ASCII PLY.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/name_table.h"
#include "cli/result_mesh.h"

namespace cli {

// OBJ: "mtllib mtlName", the points, vt per corner when the result has UVW, then one object
// per piece ("o piece_N") whose faces are grouped under "usemtl NAME" of their identifier
// (the cut faces under the inner name). The caller checks the stream.
void writeObj(const ResultMesh& result, const NameTable& names, const std::string& mtlName,
              std::ostream& out);

// The material library of writeObj: a material for every identifier of the table and of the
// result, in identifier order, so that reading the OBJ back numbers them as this run did.
void writeMtl(const ResultMesh& result, const NameTable& names, std::ostream& out);

// ASCII PLY: float x, y, z; per face a uint list of vertex_indices, int island, int face_id
// and, with UVW, a uint list of 3 floats per corner (uvw). "comment identifier ID NAME" lines
// name the face_id values.
void writePly(const ResultMesh& result, const NameTable& names, std::ostream& out);

}  // namespace cli
