// Shrunken Voronoi cells of the fracture node, as one triangle mesh.
//
// Voro++ stores the centres and cuts the cells; the neighbour search, the shrink factor on the
// cutting planes and the triangulation of each finished cell are ours. Nothing here touches the
// Boolean engine: the result is a plain geom::Polyhedron for the caller to cut the mesh with.
#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/topo_store.h"
#include "geom/polyhedron.h"
#include "geom/vec3.h"

namespace tsl::voronoi {

// Raised where Voro++ would print a message and exit() the process (its internal limits: vertex
// order or memory beyond its absolute maxima, corrupted edge tables). what() carries the
// library's text after "voro++: "; status() the exit code it would have used.
class VoroError : public std::runtime_error {
 public:
  VoroError(const std::string& message, int status);
  ~VoroError() override;
  int status() const { return status_; }

 private:
  int status_;
};

// Factor of the cutting-plane offsets: 1 - thickness in float, clamped to [0.00005, 0.9999].
// NaN takes the upper clamp, so a broken thickness never produces NaN planes.
float shrinkFactor(float thickness);

// The Voro++ container box: the working mesh's box with each corner moved 0.05 further out
// along the line from the box centre through it, in float as the node has always done it.
struct ContainerBox {
  Float3 lo;
  Float3 hi;
};
ContainerBox containerBox(const geom::AABB& meshBox);

// True when the box can hold a container: finite, and hi > lo on every axis.
bool isUsable(const ContainerBox& box);

// Jitter step: 0.00001 times the box diagonal (the diagonal's length computed in float).
double jitterStep(const ContainerBox& box);

// Order used to accept centres: z first, then y, then x. a precedes b when a.z < b.z, or
// equal z and a.y < b.y, or equal z and y and a.x < b.x.
bool precedes(const Float3& a, const Float3& b);

// A centre is accepted when it precedes hi and does not precede lo. With lo.z < c.z < hi.z the
// x and y coordinates are not looked at, so an accepted centre may still lie outside the box.
bool isAccepted(const Float3& c, const ContainerBox& box);

// A centre on its way into the container: its identifier and its jittered position.
struct Site {
  int id = 0;
  geom::Vec3 pos;
};

struct SiteStats {
  std::size_t nonFinite = 0;  // skipped: a NaN or infinite coordinate
  std::size_t rejected = 0;   // skipped by the acceptance order
  std::size_t merged = 0;     // within one jitter step of an earlier centre, dropped
};

// Turns the input centres into sites, in input order: centres with a non-finite coordinate are
// skipped; centres the acceptance order rejects take no identifier; a centre within J (one
// jitter step, 1e-5 of the box diagonal) of an earlier kept centre is merged into it (dropped
// before the jitter, since the jitter blurs every position by up to 9J per axis anyway); every
// other centre takes the next identifier and is jittered with three rand() calls (r1 for z, r2
// for y, r3 for x, each mod 10, times J). rand() is never seeded here: its sequence carries on
// from whatever ran before. Requires isUsable(box).
std::vector<Site> prepareSites(std::span<const Float3> centres, const ContainerBox& box,
                               SiteStats* stats = nullptr);

// The cell mesh and what became of the sites.
struct CellMesh {
  // One closed, outward-wound triangle manifold per cell, vertices rounded through float.
  geom::Polyhedron mesh;
  // Per cell, in slot order (= island order of mesh): the site's identifier and position.
  std::vector<int> cellIds;
  std::vector<geom::Vec3> cellCentres;
  // Per cell: its first face in mesh; one past the last cell's faces at the end.
  std::vector<std::size_t> cellFaceStart;
  std::size_t sites = 0;       // sites offered to the container
  std::size_t stored = 0;      // sites the container holds (strictly inside the box)
  std::size_t coincident = 0;  // sites dropped for lying on top of one already stored
  // Cells that rounding through float left folded or without area somewhere: replaced by the
  // convex hull of their rounded corners (`rebuilt`), or left out when those span no volume,
  // the cell being thinner than float resolves (`dropped`).
  std::size_t rebuilt = 0;
  std::size_t dropped = 0;
};

// Cells of the given sites. A site that is not finite or not strictly inside the box is left
// out (Voro++ would drop it, or convert it to a block index through undefined behaviour); a
// site within 0.001 J of one already stored is left out too, because two centres closer than
// Voro++ can resolve delete each other's cells. Each stored site's cell is the box cut by the
// half spaces x.r <= t|r|^2/2 (x relative to the site, r towards every other stored site);
// cells that the cuts delete give nothing. A cell whose corners, rounded through float, no longer
// bound a solid is replaced by their convex hull, or left out when they span no volume.
// Throws VoroError when Voro++ gives up. Requires isUsable(box). Reports one unit of progress
// per stored site and throws Cancelled between cells once progress says stop.
CellMesh cellsOfSites(std::span<const Site> sites, float t, const ContainerBox& box,
                      const Progress& progress = Progress());

// The whole step: shrink factor, container box from the working mesh's box, sites, cells.
// A box that cannot hold a container (degenerate or not finite) gives no cells. Throws
// VoroError when Voro++ gives up, std::bad_alloc when memory runs out, Cancelled as
// cellsOfSites does.
CellMesh voronoi_cells(std::span<const Float3> centres, float thickness, const geom::AABB& meshBox,
                       const Progress& progress = Progress());

}  // namespace tsl::voronoi
