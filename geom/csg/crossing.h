// Where a Boolean result's sheets cross along an edge once it is on the grid it is published
// on. A result may touch itself along an edge or at a point (two solids that share an edge, as a
// symmetric difference gives): around such an edge, its faces alternate in direction, and the
// faces pair up into closed solids. Between slivers of one operand outside a copy of itself
// turned by a hair, the faces around such an edge meet at angles the grid cannot hold: rounded,
// two sheets cross along the edge, the faces no longer alternate, and no pairing makes closed
// solids that do not cross. The surface is split there, and the sheets moved apart.
#pragma once

#include <vector>

#include "geom/csg/pending.h"
#include "geom/csg_grid.h"

namespace geom::csg {

// A result split along the edges where its sheets cross.
struct CrossingSplit {
  Keys keys;                             // the keys, with the copies appended
  Pending pending;                       // the faces over them
  std::size_t firstCopy = 0;             // the first key appended
  std::vector<int> sourceOf;             // per appended key: the key it copies
  std::vector<std::vector<int>> groups;  // keys at one position: the copied key, then its copies
};

// Splits p along the edges that more than two faces share and whose faces do not alternate in
// direction around them: each face is paired with a face next to it around the edge that runs
// the other way, and an end of such an edge gets one key per fan of faces around it. The keys
// of a group (a copied key and its copies) are no operand's vertex (so the faces around them
// count as cut). Returns no groups (and no keys or faces) when no sheets cross, or when p is not
// a closed, consistently oriented surface whose shared edges can be paired; then there is
// nothing this can mend.
CrossingSplit splitWhereSheetsCross(const Keys& keys, const Pending& p);

// Moves the keys of a group of s, all still at one position, by `steps` steps of the grid each:
// toward the middle of its neighbours in its faces (toward == 0: a fan that meets another at its
// tip pulls back from it) or against the normal of its faces (toward == 1), then onto the grid.
// Requires grid.active.
void moveApart(const Grid& grid, const std::vector<int>& group, int toward, double steps,
               CrossingSplit& s);

// Gives the faces of a group's copies its copied key again (where no way apart is found, the
// sheets cross there as before).
void joinAgain(const std::vector<int>& group, CrossingSplit& s);

// Where the result's sheets cross along an edge (see splitWhereSheetsCross), splits them and
// sets them apart on the grid, each place as far as the operand check then finds no face bad
// that was not bad before; where no way does, the sheets stay as they were there.
void setApartWhereSheetsCross(const Grid& grid, Keys& keys, Pending& pending);

}  // namespace geom::csg
