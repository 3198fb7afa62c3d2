#include "cli/name_table.h"

#include <filesystem>
#include <stdexcept>

namespace cli {

NameTable::NameTable(std::string innerName) : inner_(std::move(innerName)) {
  if (inner_.empty()) throw std::invalid_argument("the name of cut faces is empty");
}

std::int32_t NameTable::idOf(const std::string& name) {
  if (name == inner_) return kCutFaceId;
  const auto [it, added] = ids_.emplace(name, static_cast<std::int32_t>(names_.size()));
  if (added) names_.push_back(name);
  return it->second;
}

std::string NameTable::nameOf(std::int32_t id) const {
  if (id == kCutFaceId) return inner_;
  if (id >= 0 && static_cast<std::size_t>(id) < names_.size())
    return names_[static_cast<std::size_t>(id)];
  return "id_" + std::to_string(id);
}

std::vector<std::int32_t> NameTable::faceIds(const geom::MeshFile& file,
                                             const std::string& defaultName) {
  return faceIds(file.names, file.faceNames, file.polygons.size(), defaultName);
}

std::vector<std::int32_t> NameTable::faceIds(const std::vector<std::string>& fileNames,
                                             const std::vector<int>& faceNames,
                                             std::size_t faceCount,
                                             const std::string& defaultName) {
  std::vector<std::int32_t> byName;
  byName.reserve(fileNames.size());
  for (const std::string& name : fileNames) byName.push_back(idOf(name));
  std::vector<std::int32_t> out;
  out.reserve(faceCount);
  std::int32_t fallback = 0;
  bool fallbackSet = false;
  for (std::size_t f = 0; f < faceCount; ++f) {
    const int n = f < faceNames.size() ? faceNames[f] : -1;
    if (n == geom::MeshFile::kCutFace) {
      out.push_back(kCutFaceId);
      continue;
    }
    if (n >= 0 && static_cast<std::size_t>(n) < byName.size()) {
      out.push_back(byName[static_cast<std::size_t>(n)]);
      continue;
    }
    // Numbered on first use only: a file whose faces all have names adds no default.
    if (!fallbackSet) fallback = idOf(defaultName), fallbackSet = true;
    out.push_back(fallback);
  }
  return out;
}

std::vector<std::pair<std::int32_t, std::string>> NameTable::entries() const {
  std::vector<std::pair<std::int32_t, std::string>> out{{kCutFaceId, inner_}};
  for (std::size_t i = 0; i < names_.size(); ++i)
    out.emplace_back(static_cast<std::int32_t>(i), names_[i]);
  return out;
}

nlohmann::ordered_json NameTable::toJson() const {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  for (const auto& [id, name] : entries()) j[name] = id;
  return j;
}

std::string defaultFaceName(const std::string& path) {
  const std::string stem = std::filesystem::path(path).stem().string();
  return stem.empty() ? "mesh" : stem;
}

}  // namespace cli
