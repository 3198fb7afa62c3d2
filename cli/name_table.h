// Face identifiers by name, one table for every input of a run: a material called "steel" in A
// and in B is one identifier, and the files a run writes name every identifier again.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "geom/mesh_files.h"

namespace cli {

// The identifier nodes give faces that no input face gave them (Boolean and knife walls,
// Voronoi inner faces).
inline constexpr std::int32_t kCutFaceId = -2;

class NameTable {
 public:
  // innerName names the cut faces (kCutFaceId) in the files written, and faces read under that
  // name get kCutFaceId back. Requires a non-empty name.
  explicit NameTable(std::string innerName);

  // The identifier of name: the inner name's kCutFaceId, else the one the table gave it,
  // else the next free one from 0.
  std::int32_t idOf(const std::string& name);

  // The name of id: the inner name for kCutFaceId, the table's name, or "id_N" for a number
  // no input named.
  std::string nameOf(std::int32_t id) const;

  const std::string& innerName() const { return inner_; }

  // One identifier per face of file. Every name the file declares is numbered in the file's
  // order, used or not (so a file written by a run numbers as that run did); faces without a
  // name get defaultName's, faces the file marks as cut kCutFaceId.
  std::vector<std::int32_t> faceIds(const geom::MeshFile& file, const std::string& defaultName);
  // The same for faceCount faces named as a MeshFile's faceNames (indices into fileNames, -1, or
  // kCutFace; empty: none named).
  std::vector<std::int32_t> faceIds(const std::vector<std::string>& fileNames,
                                    const std::vector<int>& faceNames, std::size_t faceCount,
                                    const std::string& defaultName);

  // Every identifier and its name, in identifier order, the inner name first.
  std::vector<std::pair<std::int32_t, std::string>> entries() const;

  // {"name": id, ...} in identifier order, for the summary.
  nlohmann::ordered_json toJson() const;

 private:
  std::string inner_;
  std::map<std::string, std::int32_t> ids_;
  std::vector<std::string> names_;  // names_[id]
};

// A file's name for faces that carry none: its file name without folder and extension.
std::string defaultFaceName(const std::string& path);

}  // namespace cli
