#include "cli/small_pieces.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <queue>

namespace cli {
namespace {

using geom::Vec3;

struct UnionFind {
  explicit UnionFind(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
  std::size_t find(std::size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  }
  std::vector<std::size_t> parent;
};

void absorb(PieceMesh& into, const PieceMesh& from) {
  const auto base = static_cast<int>(into.points.size());
  int islands = 0;
  for (int i : into.islands) islands = std::max(islands, i + 1);
  into.points.insert(into.points.end(), from.points.begin(), from.points.end());
  for (std::size_t f = 0; f < from.faces.size(); ++f) {
    std::vector<int> face = from.faces[f];
    for (int& v : face) v += base;
    into.faces.push_back(std::move(face));
    into.ids.push_back(from.ids[f]);
    into.islands.push_back(islands + from.islands[f]);
  }
  if (!into.uvw.empty() && !from.uvw.empty()) {
    into.uvw.insert(into.uvw.end(), from.uvw.begin(), from.uvw.end());
  } else {
    into.uvw.clear();
  }
}

}  // namespace

void cleanSmallPieces(Fracture& fr, const std::vector<Contact>& contacts,
                      const FractureOptions& o) {
  auto& pieces = fr.pieces;
  const std::size_t n = fr.leaves.size();
  UnionFind groups(n);
  std::vector<bool> gone(n, false);  // dropped, or merged into another
  std::vector<double> volume(n);
  for (std::size_t i = 0; i < n; ++i)
    volume[i] = pieces[static_cast<std::size_t>(fr.leaves[i])].mass.volume;
  // Per leaf the contacts it takes part in; a merged leaf's join the list of the leaf it went to.
  std::vector<std::vector<std::size_t>> touching(n);
  for (std::size_t k = 0; k < contacts.size(); ++k) {
    touching[static_cast<std::size_t>(contacts[k].a)].push_back(k);
    touching[static_cast<std::size_t>(contacts[k].b)].push_back(k);
  }
  // Smallest first; an entry whose volume has changed since is stale.
  using Entry = std::pair<double, std::size_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
  for (std::size_t i = 0; i < n; ++i) {
    if (volume[i] < o.minVolume) queue.push({volume[i], i});
  }
  std::vector<double> shared(n, 0.0);
  std::vector<std::size_t> sharing;
  while (!queue.empty()) {
    const auto [v, small] = queue.top();
    queue.pop();
    if (gone[small] || v != volume[small]) continue;
    FracturePiece& s = pieces[static_cast<std::size_t>(fr.leaves[small])];
    if (o.dropSmall) {
      gone[small] = true;
      s.fate = FracturePiece::Fate::Dropped;
      ++fr.counts.dropped;
      continue;
    }
    sharing.clear();
    for (std::size_t k : touching[small]) {
      const std::size_t a = groups.find(static_cast<std::size_t>(contacts[k].a));
      const std::size_t b = groups.find(static_cast<std::size_t>(contacts[k].b));
      const std::size_t other = a == small ? b : a;
      if (a == b || gone[other]) continue;
      if (shared[other] == 0) sharing.push_back(other);
      shared[other] += contacts[k].area;
    }
    std::size_t into = n;
    for (std::size_t i : sharing) {
      if (into == n || shared[i] > shared[into] || (shared[i] == shared[into] && i < into))
        into = i;
    }
    for (std::size_t i : sharing) shared[i] = 0;
    for (std::size_t i = 0; into == n && i < n; ++i) {
      const FracturePiece& p = pieces[static_cast<std::size_t>(fr.leaves[i])];
      if (i != small && !gone[i] && p.parent == s.parent && p.centre == s.centre) into = i;
    }
    double nearest = INFINITY;
    std::size_t closest = n;
    for (std::size_t i = 0; into == n && i < n; ++i) {
      if (i == small || gone[i]) continue;
      const Vec3 d = pieces[static_cast<std::size_t>(fr.leaves[i])].mass.centroid - s.mass.centroid;
      if (geom::dot(d, d) < nearest) nearest = geom::dot(d, d), closest = i;
    }
    if (into == n) into = closest;
    if (into == n) break;  // the last piece left: nothing to merge it into
    FracturePiece& t = pieces[static_cast<std::size_t>(fr.leaves[into])];
    absorb(t.mesh, s.mesh);
    s.mesh = {};
    t.absorbed.push_back(fr.leaves[small]);
    volume[into] += volume[small];
    if (volume[into] < o.minVolume) queue.push({volume[into], into});
    touching[into].insert(touching[into].end(), touching[small].begin(), touching[small].end());
    touching[small] = {};
    s.fate = FracturePiece::Fate::Merged;
    s.mergedInto = fr.leaves[into];
    gone[small] = true;
    groups.parent[small] = into;
    ++fr.counts.merged;
  }
  // A leaf that took others is measured once, whole.
  for (std::size_t i = 0; i < n; ++i) {
    FracturePiece& p = pieces[static_cast<std::size_t>(fr.leaves[i])];
    if (!gone[i] && !p.absorbed.empty()) p.mass = measure(p.mesh);
  }
  std::vector<int> kept;
  for (std::size_t i = 0; i < n; ++i) {
    if (!gone[i]) kept.push_back(fr.leaves[i]);
  }
  // Bonds of the leaves left: their parts' contacts, summed per pair of groups.
  if (o.bonds) {
    std::vector<Bond> sums;
    std::map<std::pair<int, int>, std::size_t> slot;
    for (const Contact& c : contacts) {
      std::size_t a = groups.find(static_cast<std::size_t>(c.a));
      std::size_t b = groups.find(static_cast<std::size_t>(c.b));
      if (a == b || gone[a] || gone[b]) continue;
      Vec3 normal = c.normal;
      if (a > b) std::swap(a, b), normal = normal * -1.0;
      const std::pair<int, int> key{fr.leaves[a], fr.leaves[b]};
      const auto [it, added] = slot.emplace(key, sums.size());
      if (added) sums.push_back({key.first, key.second, 0.0, {}, {}});
      Bond& s = sums[it->second];
      s.area += c.area;
      s.centroid = s.centroid + c.centroid * c.area;
      s.normal = s.normal + normal * c.area;
    }
    for (Bond& b : sums) {
      b.centroid = b.centroid * (1.0 / b.area);
      b.normal = b.normal * (1.0 / geom::length(b.normal));
    }
    std::sort(sums.begin(), sums.end(), [](const Bond& x, const Bond& y) {
      return std::pair(x.a, x.b) < std::pair(y.a, y.b);
    });
    fr.bonds = std::move(sums);
  }
  fr.leaves = std::move(kept);
}

}  // namespace cli
