// Knife placements scattered at random for the continuous verb: uniform in the mesh's box or
// clustered about impacts, each knife turned at random and scaled within a range.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cli/centres.h"
#include "geom/mesh_files.h"

namespace cli {

struct KnifePose {
  geom::Vec3 move;
  std::array<std::array<double, 3>, 3> turn{};  // a rotation, row by row
  double scale = 1.0;
  // p scaled about the knife's origin, turned, then moved.
  geom::Vec3 apply(const geom::Vec3& p) const;
};

struct KnifeScatter {
  std::size_t count = 0;
  std::uint64_t seed = 1;
  std::vector<Impact> impacts;  // none: uniform in the mesh's box; else about each in turn
  double minScale = 1.0, maxScale = 1.0;
};

// count poses, the same for the same mesh and scatter: positions uniform in the box of mesh's
// points (or normally distributed about the impacts, the k-th knife about impact k modulo their
// number, as centres are), turns uniform over all rotations, scales uniform in [minScale,
// maxScale]. Throws geom::Error when mesh has no points.
std::vector<KnifePose> scatterKnives(const geom::MeshFile& mesh, const KnifeScatter& scatter);

}  // namespace cli
