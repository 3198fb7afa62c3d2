// The fracture job around the Voronoi node: centres placed by modes, the largest pieces broken
// again level after level (the node run on each piece, as a host graph would), pieces below a
// volume merged into a neighbour or dropped, and what a rigid-body solver needs of each piece.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/centres.h"
#include "cli/contacts.h"
#include "cli/mass_properties.h"
#include "cli/node_run.h"
#include "cli/piece_mesh.h"

namespace cli {

struct FractureOptions {
  CentreModes centres;         // of the first level, placed in the whole mesh
  std::size_t levelCount = 0;  // uniform centres per piece broken again
  std::uint32_t seed = 1;
  std::optional<float> thickness;  // none: the node's default
  float uvScale = 1.0f;
  int levels = 1;
  double levelFraction = 0.25;  // of each level's pieces, the largest by volume, broken again
  double minVolume = 0.0;       // leaves below it are merged or dropped; 0: none
  bool dropSmall = false;
  bool bonds = false;  // measure the bonds between the leaves
};

struct FracturePiece {
  enum class Fate { Leaf, Broken, Merged, Dropped };
  std::string name;  // piece_12 at the first level, piece_12_3 for its fourth child
  int level = 1;
  int parent = -1;  // index in Fracture::pieces
  std::vector<int> children;
  geom::Vec3 centre;  // the centre handed to the node whose cell the piece is in
  MassProperties mass;
  PieceMesh mesh;
  Fate fate = Fate::Leaf;
  int mergedInto = -1;        // a merged piece: the leaf that took it
  std::vector<int> absorbed;  // a leaf: the pieces merged into it
};

// Between two leaves (indices in Fracture::pieces, a < b).
struct Bond {
  int a = 0, b = 0;
  double area = 0.0;
  geom::Vec3 centroid, normal;  // normal: unit, from a towards b
};

struct FractureCounts {
  std::size_t asked = 0;  // centres handed to the node, over every evaluation
  std::size_t made = 0;   // leaves before small ones were merged or dropped
  std::size_t merged = 0;
  std::size_t dropped = 0;
  std::size_t evaluations = 0;
};

struct Fracture {
  // The first evaluation's outcome, reason and seconds (the seconds of all evaluations); its
  // log followed by the later evaluations' lines (each after its piece's name); its record
  // replaced by the leaves, one after another.
  Evaluation result;
  std::vector<FracturePiece> pieces;  // every piece of every level, parents before children
  std::vector<int> leaves;            // the leaves written, in order
  std::vector<int> leafOfFace;        // per face of result.mesh: its position in leaves
  std::vector<Bond> bonds;            // between leaves, ordered by (a, b); with options.bonds
  FractureCounts counts;
  std::vector<geom::Vec3> firstCentres;  // the centres of the first evaluation
};

// Fractures mesh (the input as read, and as the node's arrays) through h, the Voronoi plug-in,
// with session's display and Ctrl-C. The first level's centres are placed Whole, later levels'
// Piece with levelCount as their count and a seed of their own per piece. A piece the node will
// not break (fewer than two centres fall in it, or its evaluation gives no result) stays a
// leaf, with a warning line saying why. A Ctrl-C stops at the next evaluation: the result is
// then cancelled and empty. Throws geom::Error when the first level's centres cannot be placed.
Fracture fracture(host::Host& h, NodeSession& session, const geom::MeshFile& file,
                  const HostArrays& mesh, const FractureOptions& options);

// The contacts between leaves turned into bonds; maxGap as for findContacts.
std::vector<Bond> bondsBetween(const std::vector<FracturePiece>& pieces,
                               const std::vector<int>& leaves, double maxGap);

}  // namespace cli
