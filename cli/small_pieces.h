// The pieces of a fracture below a volume, merged into the neighbour they share the largest
// bond with, or dropped; and the bonds of the pieces left.
#pragma once

#include <vector>

#include "cli/contacts.h"
#include "cli/fracture.h"

namespace cli {

// Merges or drops the leaves of fr below options.minVolume (none when it is 0), smallest first,
// counting them in fr.counts and marking their fate; fr.leaves keeps the rest. A merged leaf
// goes to the neighbour it shares the largest contact area with, else to a leaf of its own cell
// (a part of the same cell that the mesh's shape set apart), else to the leaf whose centroid is
// nearest; its faces join that leaf's, which is measured again. With options.bonds, fr.bonds
// gets the contacts between the leaves left, summed per pair. contacts are between positions in
// fr.leaves, as found for them.
void cleanSmallPieces(Fracture& fr, const std::vector<Contact>& contacts,
                      const FractureOptions& options);

}  // namespace cli
