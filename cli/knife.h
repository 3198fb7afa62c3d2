// The knife of the continuous verb, made ready for the node: triangles with UVW on every
// corner, checked to be one closed, outward solid with the topology of a sphere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geom/mesh_files.h"
#include "host/host.h"

namespace cli {

struct Knife {
  std::vector<geom::Vec3> points;
  std::vector<std::int32_t> descriptor;  // (a, b, c, -2) per triangle
  // Three per triangle: the file's UVs where it has them, else zeros, so that the node keeps
  // the carved mesh's own UVs (a knife without UVW would make it drop them).
  std::vector<host::Vec3f> uvw;
  bool fileHasUvs = false;
  std::size_t triangles() const { return descriptor.size() / 4; }
};

// Splits faces of more than three corners into triangles (ear clipping in their own plane,
// UVs following their corners), then checks the solid. Throws geom::Error naming path and what
// is wrong: a face of fewer than three corners, points no face uses, an open surface (with its
// count of boundary edges), several pieces, faces wound inwards, or holes through it (its
// genus).
Knife prepareKnife(const geom::MeshFile& file, const std::string& path);

}  // namespace cli
