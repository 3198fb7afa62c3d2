#include "cli/manifest.h"

namespace cli {
namespace {

nlohmann::ordered_json vec(const geom::Vec3& v) {
  return nlohmann::ordered_json::array({v.x, v.y, v.z});
}

const char* fateName(FracturePiece::Fate f) {
  switch (f) {
    case FracturePiece::Fate::Leaf:
      return "leaf";
    case FracturePiece::Fate::Broken:
      return "broken";
    case FracturePiece::Fate::Merged:
      return "merged";
    case FracturePiece::Fate::Dropped:
      break;
  }
  return "dropped";
}

}  // namespace

nlohmann::ordered_json pieceJson(const Fracture& fr, int index) {
  const FracturePiece& p = fr.pieces[static_cast<std::size_t>(index)];
  auto nameOf = [&](int i) -> nlohmann::ordered_json {
    if (i < 0) return nullptr;
    return fr.pieces[static_cast<std::size_t>(i)].name;
  };
  nlohmann::ordered_json j;
  j["name"] = p.name;
  j["level"] = p.level;
  j["parent"] = nameOf(p.parent);
  j["leaf"] = p.fate == FracturePiece::Fate::Leaf;
  j["fate"] = fateName(p.fate);
  j["children"] = nlohmann::ordered_json::array();
  for (int c : p.children) j["children"].push_back(nameOf(c));
  j["merged_into"] = nameOf(p.mergedInto);
  j["absorbed"] = nlohmann::ordered_json::array();
  for (int a : p.absorbed) j["absorbed"].push_back(nameOf(a));
  j["centre"] = vec(p.centre);
  j["volume"] = p.mass.volume;
  j["centroid"] = vec(p.mass.centroid);
  j["inertia"] = nlohmann::ordered_json::array();
  for (const auto& row : p.mass.inertia) j["inertia"].push_back({row[0], row[1], row[2]});
  j["bounds"] = {{"min", vec(p.mass.lo)}, {"max", vec(p.mass.hi)}};
  return j;
}

nlohmann::ordered_json manifestJson(const Fracture& fr, const std::string& mesh, std::uint32_t seed,
                                    double thickness, int levels) {
  nlohmann::ordered_json j;
  j["mesh"] = mesh;
  j["seed"] = seed;
  j["thickness"] = thickness;
  j["levels"] = levels;
  j["counts"] = {{"asked", fr.counts.asked},   {"made", fr.counts.made},
                 {"merged", fr.counts.merged}, {"dropped", fr.counts.dropped},
                 {"pieces", fr.leaves.size()}, {"evaluations", fr.counts.evaluations}};
  j["pieces"] = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < fr.pieces.size(); ++i)
    j["pieces"].push_back(pieceJson(fr, static_cast<int>(i)));
  j["bonds"] = nlohmann::ordered_json::array();
  for (const Bond& b : fr.bonds) {
    j["bonds"].push_back({{"a", fr.pieces[static_cast<std::size_t>(b.a)].name},
                          {"b", fr.pieces[static_cast<std::size_t>(b.b)].name},
                          {"area", b.area},
                          {"centroid", vec(b.centroid)},
                          {"normal", vec(b.normal)}});
  }
  return j;
}

}  // namespace cli
