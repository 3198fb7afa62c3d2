// Where a fracture's cell centres go. Modes combine: the centres of every mode given are handed
// to the node together. Every mode is reproducible: the same region, modes and seed give the
// same centres.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "geom/mesh_files.h"
#include "geom/vec3.h"

namespace cli {

// Centres clustered about a point: density highest at the point and falling off with a normal
// distribution whose deviation is half the radius, so about three quarters of the centres lie
// within the radius.
struct Impact {
  geom::Vec3 point;
  std::optional<double> radius;  // none: a tenth of the region's box diagonal
};

// Broken glass: the point itself, then rings x spokes centres on rings about the point, in the
// plane through it across the axis. Ring k of n lies at (k / n)^1.5 of the reach (the distance
// to the farthest corner of the region's box, in that plane), so pieces grow outwards; every
// centre is moved by up to jitter of its ring's step along the radius and of a spoke's angle
// around it.
struct Radial {
  geom::Vec3 point;
  std::optional<geom::Vec3> axis;  // none: the thinnest axis of the region's box (a pane's normal)
  int rings = 4;
  int spokes = 8;
  double jitter = 0.25;
};

struct CentreModes {
  std::size_t count = 0;              // drawn uniformly inside the region
  std::optional<double> nearSurface;  // the count drawn within this distance of the surface instead
  std::vector<Impact> impacts;
  std::size_t impactCount = 100;  // centres per impact
  std::optional<Radial> radial;
  std::vector<geom::Vec3> fixed;  // given: a file's centres or a mesh's vertices
};

// Where the centres of modes are placed.
enum class Placing {
  // The whole mesh: the count inside it, impactCount inside it per impact, the radial pattern's
  // centres inside it, every fixed centre.
  Whole,
  // A piece broken again: the count inside it, as well as every centre of the whole mesh's
  // distributions that falls inside it (impactCount draws per impact, the radial pattern, the
  // fixed centres), so that an impact keeps its place: the pieces near it break finest.
  Piece,
};

// The radius an impact uses in region: its own, else a tenth of the box diagonal.
double impactRadius(const Impact& impact, const geom::MeshFile& region);

// The centres of modes in region (a closed, outward mesh), in mode order: uniform or
// near-surface, impacts, radial, fixed. The uniform draw is geom::scatterInside(region, count,
// seed). Throws geom::Error when region has no points, or when placing Whole the count (or an
// impact's impactCount) cannot be placed inside it (an open or flat mesh, an impact far outside
// it). An axis must not be zero (throws).
std::vector<geom::Vec3> placeCentres(const geom::MeshFile& region, const CentreModes& modes,
                                     std::uint64_t seed, Placing placing);

// The box of a mesh file's points. Requires at least one point.
struct PointBox {
  geom::Vec3 lo, hi;
};
PointBox boxOf(const geom::MeshFile& mesh);

// splitmix64's finaliser: turns a seed combined with an index into an unrelated seed, so that
// nearby seeds and indices give unrelated random streams.
std::uint64_t mixSeed(std::uint64_t z);

// "X,Y,Z" or "X,Y,Z,R" (finite, R above 0) as an impact; nothing when text is not one.
std::optional<Impact> impactFromText(const std::string& text);

// The unit vector of the region box's thinnest axis.
geom::Vec3 thinnestAxis(const geom::MeshFile& region);

}  // namespace cli
