#include "cli/fracture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "cli/name_table.h"
#include "cli/small_pieces.h"
#include "geom/error.h"
#include "voronoi/ports.h"

namespace cli {
namespace {

using geom::Vec3;

constexpr std::uint32_t kWarning = 4, kInfo = 8;
constexpr float kNodeThickness = 0.001f;  // the node's default

// The centre nearest to a point, over a grid of the centres (pieces are many, and so are
// centres: a search of all of them for each piece would be quadratic).
class NearestCentre {
 public:
  explicit NearestCentre(const std::vector<Vec3>& centres) : c_(centres) {
    if (c_.empty()) return;
    lo_ = hi_ = c_[0];
    for (const Vec3& p : c_) {
      lo_ = {std::min(lo_.x, p.x), std::min(lo_.y, p.y), std::min(lo_.z, p.z)};
      hi_ = {std::max(hi_.x, p.x), std::max(hi_.y, p.y), std::max(hi_.z, p.z)};
    }
    n_ = std::max(1, static_cast<int>(std::cbrt(static_cast<double>(c_.size()) / 2)));
    const Vec3 s = hi_ - lo_;
    size_ = std::max({s.x, s.y, s.z, 1e-300}) / n_;
    cells_.resize(static_cast<std::size_t>(n_) * n_ * n_);
    for (std::size_t i = 0; i < c_.size(); ++i) cells_[index(cell(c_[i]))].push_back(i);
  }

  std::size_t operator()(const Vec3& q) const {
    const auto home = cell(q);
    std::size_t best = 0;
    double bestD = INFINITY;
    for (int ring = 0; ring <= n_; ++ring) {
      // Every centre in a cell of a later ring is at least (ring) cells away.
      const double reach = (ring - 1) * size_;
      if (ring > 0 && reach > 0 && reach * reach > bestD) break;
      for (int x = home[0] - ring; x <= home[0] + ring; ++x)
        for (int y = home[1] - ring; y <= home[1] + ring; ++y)
          for (int z = home[2] - ring; z <= home[2] + ring; ++z) {
            if (std::max({std::abs(x - home[0]), std::abs(y - home[1]), std::abs(z - home[2])}) !=
                ring)
              continue;
            if (x < 0 || y < 0 || z < 0 || x >= n_ || y >= n_ || z >= n_) continue;
            for (std::size_t i : cells_[index({x, y, z})]) {
              const Vec3 d = c_[i] - q;
              const double dd = geom::dot(d, d);
              if (dd < bestD || (dd == bestD && i < best)) bestD = dd, best = i;
            }
          }
    }
    return best;
  }

 private:
  std::array<int, 3> cell(const Vec3& p) const {
    auto at = [&](double v, double lo) {
      return std::clamp(static_cast<int>(std::floor((v - lo) / size_)), 0, n_ - 1);
    };
    return {at(p.x, lo_.x), at(p.y, lo_.y), at(p.z, lo_.z)};
  }
  std::size_t index(const std::array<int, 3>& c) const {
    return (static_cast<std::size_t>(c[2]) * n_ + c[1]) * n_ + c[0];
  }
  const std::vector<Vec3>& c_;
  Vec3 lo_, hi_;
  int n_ = 1;
  double size_ = 1;
  std::vector<std::vector<std::size_t>> cells_;
};

std::uint64_t pieceSeed(std::uint64_t seed, std::size_t piece) {
  return mixSeed(seed ^ (0x9E3779B97F4A7C15ull * (piece + 1)));
}

// One evaluation of the node on arrays and centres.
Evaluation evaluateOn(host::Host& h, NodeSession& session, const HostArrays& arrays,
                      const std::vector<Vec3>& centres, const FractureOptions& o,
                      const std::string& caption) {
  namespace port = tsl::voronoi::port;
  std::vector<host::Vec3f> c;
  c.reserve(centres.size());
  for (const Vec3& p : centres)
    c.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  connectMesh(h, arrays, port::kPoints, port::kDescription, port::kUvw, port::kFaceId);
  if (arrays.uvw.empty()) h.disconnect(port::kUvw);
  h.connectVector3Array(port::kCentres, c);
  if (o.thickness) h.connectFloat(port::kThickness, *o.thickness);
  h.connectFloat(port::kUvScale, o.uvScale);
  return session.evaluate(h, port::kOutput, caption);
}

// The solids of an evaluation's record as pieces of level, children of parent, each with the
// handed centre nearest its centroid.
std::vector<FracturePiece> piecesOf(const Evaluation& e, const std::vector<Vec3>& centres,
                                    int level, int parent, const std::string& parentName) {
  std::vector<FracturePiece> out;
  const NearestCentre nearest(centres);
  std::vector<PieceMesh> solids = splitSolids(e.mesh);
  for (std::size_t i = 0; i < solids.size(); ++i) {
    FracturePiece p;
    p.name = parentName + "_" + std::to_string(i);
    p.level = level;
    p.parent = parent;
    p.mesh = std::move(solids[i]);
    p.mass = measure(p.mesh);
    if (!centres.empty()) p.centre = centres[nearest(p.mass.centroid)];
    out.push_back(std::move(p));
  }
  return out;
}

// A later evaluation's lines after its piece's name, but for its count lines: hundreds of pieces
// broken again would bury what matters under them, and the summary counts the result.
void appendLog(Evaluation& to, const Evaluation& from, const std::string& who) {
  for (const auto& line : from.log) {
    if (line.severity != kInfo) to.log.push_back({line.severity, who + ": " + line.text});
  }
  to.escaped.insert(to.escaped.end(), from.escaped.begin(), from.escaped.end());
}

// Contacts between the leaves, parts numbered by their position in leaves.
std::vector<Contact> contactsBetween(const std::vector<FracturePiece>& pieces,
                                     const std::vector<int>& leaves, double maxGap) {
  std::vector<const PieceMesh*> meshes;
  double size = 0;
  for (int l : leaves) {
    const FracturePiece& p = pieces[static_cast<std::size_t>(l)];
    meshes.push_back(&p.mesh);
    const Vec3 s = p.mass.hi - p.mass.lo;
    size = std::max({size, s.x, s.y, s.z});
  }
  // Only the cut faces can face another piece: the rest stay out of the arrays.
  std::vector<std::array<float, 3>> points;
  std::vector<std::vector<int>> faces;
  std::vector<int> part;
  std::vector<std::int32_t> ids;
  for (std::size_t i = 0; i < meshes.size(); ++i) {
    const PieceMesh& m = *meshes[i];
    const auto base = static_cast<int>(points.size());
    points.insert(points.end(), m.points.begin(), m.points.end());
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
      if (m.ids[f] != kCutFaceId) continue;
      faces.push_back(m.faces[f]);
      for (int& v : faces.back()) v += base;
      part.push_back(static_cast<int>(i));
      ids.push_back(kCutFaceId);
    }
  }
  std::vector<Contact> all = findContacts(points, faces, part, ids, maxGap, 1e-12 * size * size);
  // Where cells meet only along an edge or at a corner (a grid of centres), the node's jitter
  // leaves slivers of wall between them, a few millionths of a face: below a hundredth of the
  // smaller piece's typical face (its volume to the power 2/3) a contact is such a sliver, and
  // a solver gluing along it would hold pieces that do not face each other.
  std::erase_if(all, [&](const Contact& c) {
    const double va = std::fabs(
        pieces[static_cast<std::size_t>(leaves[static_cast<std::size_t>(c.a)])].mass.volume);
    const double vb = std::fabs(
        pieces[static_cast<std::size_t>(leaves[static_cast<std::size_t>(c.b)])].mass.volume);
    return c.area < 0.01 * std::pow(std::min(va, vb), 2.0 / 3.0);
  });
  return all;
}

// The gap the node leaves between neighbours is the thickness times the distance of their
// centres, which the box diagonal of the centres' container bounds.
double maxGapFor(const FractureOptions& o, const geom::MeshFile& whole) {
  const double t = o.thickness ? *o.thickness : kNodeThickness;
  const PointBox box = boxOf(whole);
  return t * 1.25 * geom::length(box.hi - box.lo);
}

}  // namespace

std::vector<Bond> bondsBetween(const std::vector<FracturePiece>& pieces,
                               const std::vector<int>& leaves, double maxGap) {
  std::vector<Bond> out;
  for (const Contact& c : contactsBetween(pieces, leaves, maxGap)) {
    out.push_back({leaves[static_cast<std::size_t>(c.a)], leaves[static_cast<std::size_t>(c.b)],
                   c.area, c.centroid, c.normal});
  }
  return out;
}

Fracture fracture(host::Host& h, NodeSession& session, const geom::MeshFile& file,
                  const HostArrays& mesh, const FractureOptions& o) {
  Fracture fr;
  fr.firstCentres = placeCentres(file, o.centres, o.seed, Placing::Whole);
  fr.counts.asked = fr.firstCentres.size();
  // The node jitters centres with rand(); seeding it here makes a whole run reproducible.
  std::srand(o.seed);
  fr.result = evaluateOn(h, session, mesh, fr.firstCentres, o, "");
  ++fr.counts.evaluations;
  if (!fr.result.hasRecord || fr.result.facts.outcome != Outcome::Result) return fr;
  fr.pieces = piecesOf(fr.result, fr.firstCentres, 1, -1, "piece");

  CentreModes later = o.centres;
  later.count = o.levelCount;
  for (int level = 2; level <= o.levels; ++level) {
    std::vector<int> candidates;
    for (std::size_t i = 0; i < fr.pieces.size(); ++i) {
      if (fr.pieces[i].level == level - 1) candidates.push_back(static_cast<int>(i));
    }
    std::stable_sort(candidates.begin(), candidates.end(), [&](int a, int b) {
      return fr.pieces[static_cast<std::size_t>(a)].mass.volume >
             fr.pieces[static_cast<std::size_t>(b)].mass.volume;
    });
    const auto take = static_cast<std::size_t>(
        std::ceil(o.levelFraction * static_cast<double>(candidates.size()) - 1e-9));
    candidates.resize(std::min(candidates.size(), take));
    // Broken in piece order, so that names and the node's jitter follow the file's order.
    std::sort(candidates.begin(), candidates.end());
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      const auto index = static_cast<std::size_t>(candidates[k]);
      const std::string name = fr.pieces[index].name;
      const std::vector<Vec3> centres = placeCentres(toMeshFile(fr.pieces[index].mesh), later,
                                                     pieceSeed(o.seed, index), Placing::Piece);
      if (centres.size() < 2) continue;
      fr.counts.asked += centres.size();
      const std::string caption = "L" + std::to_string(level) + " " + std::to_string(k + 1) + "/" +
                                  std::to_string(candidates.size()) + " ";
      const Evaluation e =
          evaluateOn(h, session, toHostArrays(fr.pieces[index].mesh), centres, o, caption);
      ++fr.counts.evaluations;
      fr.result.facts.seconds += e.facts.seconds;
      appendLog(fr.result, e, name);
      if (e.facts.cancelled) {
        fr.result.facts.cancelled = true;
        fr.result.facts.outcome = Outcome::Empty;
        fr.result.facts.reason = e.facts.reason;
        fr.result.hasRecord = false;
        fr.result.mesh = {};
        return fr;
      }
      if (!e.hasRecord || e.facts.outcome != Outcome::Result) {
        fr.result.log.push_back(
            {kWarning, name + " was not broken again: " + e.facts.reason.value_or("no result")});
        continue;
      }
      std::vector<FracturePiece> children =
          piecesOf(e, centres, level, static_cast<int>(index), name);
      if (children.size() < 2) continue;
      fr.pieces[index].fate = FracturePiece::Fate::Broken;
      for (auto& c : children) {
        fr.pieces[index].children.push_back(static_cast<int>(fr.pieces.size()));
        fr.pieces.push_back(std::move(c));
      }
      // The parent's geometry lives on in its children.
      fr.pieces[index].mesh = {};
    }
  }

  for (std::size_t i = 0; i < fr.pieces.size(); ++i) {
    if (fr.pieces[i].fate == FracturePiece::Fate::Leaf) fr.leaves.push_back(static_cast<int>(i));
  }
  fr.counts.made = fr.leaves.size();
  std::vector<Contact> contacts;
  if (o.bonds || (o.minVolume > 0 && !o.dropSmall)) {
    contacts = contactsBetween(fr.pieces, fr.leaves, maxGapFor(o, file));
  }
  cleanSmallPieces(fr, contacts, o);

  std::vector<const PieceMesh*> meshes;
  for (int l : fr.leaves) meshes.push_back(&fr.pieces[static_cast<std::size_t>(l)].mesh);
  fr.result.mesh = gather(meshes, fr.leafOfFace);
  return fr;
}

}  // namespace cli
