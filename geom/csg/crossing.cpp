#include "geom/csg/crossing.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "geom/csg/operand_check.h"
#include "geom/csg/sheets.h"

namespace geom::csg {

CrossingSplit splitWhereSheetsCross(const Keys& keys, const Pending& p) {
  CrossingSplit out;
  std::optional<Sheets> sheets =
      splitSheets(keys.position, p.offsets, p.corners, SplitAt::Crossings);
  if (!sheets || sheets->sourceOf.empty()) return out;
  out.keys = keys;
  out.pending = p;
  out.pending.corners = std::move(sheets->corners);
  out.firstCopy = keys.count;
  out.sourceOf = std::move(sheets->sourceOf);
  for (const int v : out.sourceOf) {
    out.keys.position.push_back(keys.position[v]);
    for (std::vector<int>& original : out.keys.original) original.push_back(-1);
  }
  out.keys.count += out.sourceOf.size();
  // Every key at the position of a copy moves, the original one too: each goes into its own
  // sheet, so none of them stays on what the others leave.
  std::map<int, std::vector<int>> group;  // by the key copied
  for (std::size_t k = 0; k < out.sourceOf.size(); ++k) {
    std::vector<int>& g = group[out.sourceOf[k]];
    if (g.empty()) g.push_back(out.sourceOf[k]);
    g.push_back(static_cast<int>(keys.count + k));
  }
  for (auto& [source, g] : group) {
    for (const int k : g) {
      for (std::vector<int>& original : out.keys.original) original[k] = -1;
    }
    out.groups.push_back(std::move(g));
  }
  return out;
}

void joinAgain(const std::vector<int>& group, CrossingSplit& s) {
  const int source = group.front();
  for (int& k : s.pending.corners) {
    if (k >= static_cast<int>(s.firstCopy) && s.sourceOf[k - s.firstCopy] == source) k = source;
  }
}

void moveApart(const Grid& grid, const std::vector<int>& group, int toward, double steps,
               CrossingSplit& s) {
  Keys& keys = s.keys;
  const Pending& p = s.pending;
  const Vec3 at = keys.position[group.front()];
  std::vector<std::uint8_t> moving(keys.count, 0);
  for (const int k : group) moving[k] = 1;
  std::vector<Vec3> dir(keys.count, Vec3{0, 0, 0});
  for (std::size_t f = 0; f + 1 < p.offsets.size(); ++f) {
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    Vec3 normal{0, 0, 0};
    bool any = false;
    for (std::uint32_t i = 0; i < n; ++i) any = any || moving[p.corners[b + i]];
    if (!any) continue;
    if (toward == 1) {
      for (std::uint32_t i = 0; i < n; ++i) {
        normal = normal +
                 cross(keys.position[p.corners[b + i]], keys.position[p.corners[b + (i + 1) % n]]);
      }
    }
    for (std::uint32_t i = 0; i < n; ++i) {
      const int v = p.corners[b + i];
      if (!moving[v]) continue;
      if (toward == 1) {
        dir[v] = dir[v] - normal;
      } else {
        const Vec3& before = keys.position[p.corners[b + (i + n - 1) % n]];
        const Vec3& after = keys.position[p.corners[b + (i + 1) % n]];
        dir[v] = dir[v] + before + after - at * 2.0;
      }
    }
  }
  const double step = std::max(grid.spacing(at), 1e-15 * length(at));
  for (const int v : group) {
    const double len = length(dir[v]);
    keys.position[v] = len > 0 ? grid.round(at + dir[v] * (steps * step / len)) : at;
  }
}

// Where the result's sheets cross along an edge, they are split and set apart on the grid:
// toward the middle of their fans first, against their normals next, with larger steps, each
// place again the way after the last as long as the operand check finds a face bad there that
// was not bad before. Where no way does, the sheets stay as they were there.
void setApartWhereSheetsCross(const Grid& grid, Keys& keys, Pending& pending) {
  CrossingSplit split = splitWhereSheetsCross(keys, pending);
  if (split.groups.empty()) return;
  // The split keeps the faces in order, so their verdicts compare one to one.
  const std::vector<std::uint32_t> given = judge(keys, pending).bad;
  std::vector<int> groupOf(split.keys.count, -1);
  std::vector<Vec3> at;
  std::vector<std::size_t> troubled;
  for (std::size_t g = 0; g < split.groups.size(); ++g) {
    for (const int k : split.groups[g]) groupOf[k] = static_cast<int>(g);
    at.push_back(split.keys.position[split.groups[g].front()]);
    troubled.push_back(g);
  }
  for (int attempt = 0; attempt < 6 && !troubled.empty(); ++attempt) {
    for (const std::size_t g : troubled) {
      for (const int k : split.groups[g]) split.keys.position[k] = at[g];
      moveApart(grid, split.groups[g], attempt % 2, 1.5 * (1 << (attempt / 2)), split);
    }
    const Verdict verdict = judge(split.keys, split.pending);
    std::vector<std::uint8_t> bad(split.groups.size(), 0);
    auto mark = [&](std::uint32_t f) {
      for (std::uint32_t i = split.pending.offsets[f]; i < split.pending.offsets[f + 1]; ++i) {
        const int g = groupOf[split.pending.corners[i]];
        if (g >= 0) bad[g] = 1;
      }
    };
    for (const std::uint32_t f : verdict.twinFaces) mark(f);
    for (const std::uint32_t f : verdict.bad) {
      if (!std::binary_search(given.begin(), given.end(), f)) mark(f);
    }
    troubled.clear();
    for (std::size_t g = 0; g < bad.size(); ++g) {
      if (bad[g]) troubled.push_back(g);
    }
  }
  for (const std::size_t g : troubled) {
    for (const int k : split.groups[g]) split.keys.position[k] = at[g];
    joinAgain(split.groups[g], split);
  }
  keys = std::move(split.keys);
  pending = std::move(split.pending);
}

}  // namespace geom::csg
