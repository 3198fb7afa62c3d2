// A bounding-box hierarchy over triangles, for finding the pairs of triangles whose boxes
// overlap: between two meshes, or within one.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "geom/vec3.h"

namespace geom {

class BoxTree {
 public:
  // Box of a triangle or of a subtree, in float rounded outwards: a pair of triangles that
  // meet always has overlapping boxes.
  struct Box {
    float lo[3], hi[3];
    bool overlaps(const Box& o) const {
      return lo[0] <= o.hi[0] && o.lo[0] <= hi[0] && lo[1] <= o.hi[1] && o.lo[1] <= hi[1] &&
             lo[2] <= o.hi[2] && o.lo[2] <= hi[2];
    }
  };

  // Builds the tree over the triangles `tris` (corner indices into points). Where `only` is
  // given (one flag per triangle), only the flagged triangles go in. Requires every corner
  // index to be a valid index into points.
  BoxTree(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
          const std::vector<std::uint8_t>* only = nullptr);

  // Calls hit(i, j) once for each triangle i of this tree and j of other whose boxes overlap.
  template <typename Hit>
  void pairs(const BoxTree& other, Hit hit) const;

  // As pairs(other, hit), passing over the pairs that a test on boxes turns down: reach(s, t)
  // returns, for triangle t of this tree (s = 0) or of other (s = 1), a callable on boxes that
  // may answer false only for a box in which no triangle meeting t can lie (its plane's
  // distance, say), and that answers false for a box whenever it does for a box inside it.
  // Wherever the walk has come down to a leaf on one side, each of that leaf's triangles is
  // looked up in the subtree on the other side through its test: a large triangle over many
  // small ones is paired with the few its plane runs through, not every one its box holds.
  template <typename Hit, typename Reach>
  void pairs(const BoxTree& other, Hit hit, Reach reach) const;

  // Calls hit(i, j), i != j, once for each unordered pair of triangles of this tree whose boxes
  // overlap.
  template <typename Hit>
  void selfPairs(Hit hit) const;

  // As selfPairs(hit), except that within a subtree of more than one leaf whose triangles
  // certify(triangles, rest) vouches for, only the pairs with a triangle in rest are walked.
  // certify gets the subtree's triangles (a span) and an empty vector; it returns true where
  // no pair of them needs a test other than those with a triangle it put in rest (positions in
  // the span). Subtrees are offered from the root down; below one vouched for, none is.
  template <typename Hit, typename Certify>
  void selfPairs(Hit hit, Certify certify) const;

  // Calls hit(t) for each triangle t whose box accept(box) takes, looking only into subtrees
  // whose boxes it takes: accept must take every box that contains a box it takes (a test for
  // meeting a fixed set does).
  template <typename Accept, typename Hit>
  void query(Accept accept, Hit hit) const;

  bool empty() const { return nodes_.empty(); }

 private:
  struct Node {
    Box box;
    std::uint32_t first = 0;  // leaf: first entry in order_; inner: index of the left child
    std::uint32_t count = 0;  // leaf: number of triangles; inner: 0 (right child follows left's
                              // subtree, at `right`)
    std::uint32_t right = 0;
  };
  static constexpr std::uint32_t kLeafSize = 4;

  // Of two nodes whose boxes overlap and that are not both leaves: whether to split the first
  // (an inner node against a leaf, else the larger).
  static bool descendFirst(const Node& a, const Node& b) {
    if (b.count > 0) return true;
    if (a.count > 0) return false;
    float sa = 0, sb = 0;
    for (int k = 0; k < 3; ++k) {
      sa += a.box.hi[k] - a.box.lo[k];
      sb += b.box.hi[k] - b.box.lo[k];
    }
    return sa >= sb;
  }

  std::uint32_t build(std::uint32_t begin, std::uint32_t end);

  // query, in the subtree of node top.
  template <typename Accept, typename Hit>
  void queryFrom(std::uint32_t top, Accept&& accept, Hit&& hit) const;

  // The triangles of node a's subtree, which lie together in order_.
  std::span<const std::uint32_t> subtree(std::uint32_t a) const {
    std::uint32_t first = a, last = a;
    while (nodes_[first].count == 0) first = nodes_[first].first;
    while (nodes_[last].count == 0) last = nodes_[last].right;
    const std::uint32_t begin = nodes_[first].first, end = nodes_[last].first + nodes_[last].count;
    return {order_.data() + begin, end - begin};
  }

  using PairStack = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  // One step of a walk over node a of this tree and node b of other: nothing when their boxes
  // do not overlap, the pairs of their triangles when both are leaves, else the pair split,
  // unless across(a, b) takes a leaf against an inner node over itself (returns true).
  template <typename Hit, typename Across>
  void step(std::uint32_t a, const BoxTree& other, std::uint32_t b, PairStack& stack, Hit& hit,
            Across&& across) const {
    const Node& na = nodes_[a];
    const Node& nb = other.nodes_[b];
    if (!na.box.overlaps(nb.box)) return;
    if (na.count > 0 && nb.count > 0) {
      leafPairs(na, other, nb, hit);
    } else if ((na.count > 0 || nb.count > 0) && across(a, b)) {
      return;
    } else if (descendFirst(na, nb)) {
      stack.emplace_back(na.first, b);
      stack.emplace_back(na.right, b);
    } else {
      stack.emplace_back(a, nb.first);
      stack.emplace_back(a, nb.right);
    }
  }
  template <typename Hit>
  void step(std::uint32_t a, const BoxTree& other, std::uint32_t b, PairStack& stack,
            Hit& hit) const {
    step(a, other, b, stack, hit, [](std::uint32_t, std::uint32_t) { return false; });
  }

  // Calls hit for each overlapping pair of a triangle of leaf na (of this tree) and one of
  // leaf nb (of other).
  template <typename Hit>
  void leafPairs(const Node& na, const BoxTree& other, const Node& nb, Hit& hit) const {
    for (std::uint32_t i = na.first; i < na.first + na.count; ++i) {
      const Box& bi = boxes_[i];
      for (std::uint32_t j = nb.first; j < nb.first + nb.count; ++j) {
        if (bi.overlaps(other.boxes_[j])) hit(order_[i], other.order_[j]);
      }
    }
  }

  // The pairs within node a's subtree (triangles tris) that have a triangle in rest (positions
  // in tris), each once.
  template <typename Hit>
  void restPairs(std::uint32_t a, std::span<const std::uint32_t> tris,
                 const std::vector<std::uint32_t>& rest, std::vector<std::uint8_t>& inRest,
                 std::vector<std::uint32_t>& down, Hit& hit) const {
    const std::size_t begin = static_cast<std::size_t>(tris.data() - order_.data());
    inRest.assign(tris.size(), 0);
    for (const std::uint32_t p : rest) inRest[p] = 1;
    for (const std::uint32_t p : rest) {
      const std::size_t e = begin + p;
      const Box& box = boxes_[e];
      down.assign(1, a);
      while (!down.empty()) {
        const Node& n = nodes_[down.back()];
        down.pop_back();
        if (!n.box.overlaps(box)) continue;
        if (n.count == 0) {
          down.push_back(n.first);
          down.push_back(n.right);
          continue;
        }
        for (std::uint32_t i = n.first; i < n.first + n.count; ++i) {
          // A pair of two triangles of rest is met from the first of them only.
          if (i == e || (inRest[i - begin] && i < e)) continue;
          if (boxes_[i].overlaps(box)) hit(order_[e], order_[i]);
        }
      }
    }
  }

  std::vector<std::uint32_t> order_;  // triangles, grouped by leaf
  std::vector<Box> boxes_;            // per entry of order_, so a leaf's boxes lie together
  std::vector<Node> nodes_;           // root first
};

template <typename Hit>
void BoxTree::pairs(const BoxTree& other, Hit hit) const {
  if (nodes_.empty() || other.nodes_.empty()) return;
  PairStack stack{{0, 0}};
  while (!stack.empty()) {
    const auto [a, b] = stack.back();
    stack.pop_back();
    step(a, other, b, stack, hit);
  }
}

template <typename Hit, typename Reach>
void BoxTree::pairs(const BoxTree& other, Hit hit, Reach reach) const {
  if (nodes_.empty() || other.nodes_.empty()) return;
  // Each triangle of the leaf, looked up in the subtree through its test.
  auto across = [&](std::uint32_t a, std::uint32_t b) {
    const Node& na = nodes_[a];
    const Node& nb = other.nodes_[b];
    if (nb.count > 0) {
      for (std::uint32_t j = nb.first; j < nb.first + nb.count; ++j) {
        const Box& bj = other.boxes_[j];
        if (!bj.overlaps(na.box)) continue;
        const auto near = reach(1, other.order_[j]);
        queryFrom(
            a, [&](const Box& box) { return box.overlaps(bj) && near(box); },
            [&](std::uint32_t i) { hit(i, other.order_[j]); });
      }
    } else {
      for (std::uint32_t i = na.first; i < na.first + na.count; ++i) {
        const Box& bi = boxes_[i];
        if (!bi.overlaps(nb.box)) continue;
        const auto near = reach(0, order_[i]);
        other.queryFrom(
            b, [&](const Box& box) { return box.overlaps(bi) && near(box); },
            [&](std::uint32_t j) { hit(order_[i], j); });
      }
    }
    return true;
  };
  PairStack stack{{0, 0}};
  while (!stack.empty()) {
    const auto [a, b] = stack.back();
    stack.pop_back();
    step(a, other, b, stack, hit, across);
  }
}

template <typename Accept, typename Hit>
void BoxTree::query(Accept accept, Hit hit) const {
  if (nodes_.empty()) return;
  queryFrom(0, accept, hit);
}

template <typename Accept, typename Hit>
void BoxTree::queryFrom(std::uint32_t top, Accept&& accept, Hit&& hit) const {
  // Halving keeps the depth below 33 for any count that fits the indices; a node waits on the
  // stack only beside one on the path to the top.
  std::uint32_t down[72];
  std::size_t size = 0;
  down[size++] = top;
  while (size > 0) {
    const Node& n = nodes_[down[--size]];
    if (!accept(n.box)) continue;
    if (n.count == 0) {
      down[size++] = n.right;
      down[size++] = n.first;
      continue;
    }
    for (std::uint32_t i = n.first; i < n.first + n.count; ++i) {
      if (accept(boxes_[i])) hit(order_[i]);
    }
  }
}

template <typename Hit>
void BoxTree::selfPairs(Hit hit) const {
  selfPairs(hit, [](std::span<const std::uint32_t>, std::vector<std::uint32_t>&) { return false; });
}

template <typename Hit, typename Certify>
void BoxTree::selfPairs(Hit hit, Certify certify) const {
  if (nodes_.empty()) return;
  std::vector<std::uint32_t> rest;
  std::vector<std::uint8_t> inRest;
  std::vector<std::uint32_t> down;
  // (a, a) stands for the pairs within a's subtree; (a, b), a != b, for pairs across.
  PairStack stack{{0, 0}};
  while (!stack.empty()) {
    const auto [a, b] = stack.back();
    stack.pop_back();
    if (a == b) {
      const Node& na = nodes_[a];
      if (na.count > 0) {
        for (std::uint32_t i = na.first; i < na.first + na.count; ++i) {
          for (std::uint32_t j = i + 1; j < na.first + na.count; ++j) {
            if (boxes_[i].overlaps(boxes_[j])) hit(order_[i], order_[j]);
          }
        }
      } else {
        const std::span<const std::uint32_t> tris = subtree(a);
        rest.clear();
        if (certify(tris, rest)) {
          restPairs(a, tris, rest, inRest, down, hit);
        } else {
          stack.emplace_back(na.first, na.first);
          stack.emplace_back(na.right, na.right);
          stack.emplace_back(na.first, na.right);
        }
      }
      continue;
    }
    step(a, *this, b, stack, hit);
  }
}

}  // namespace geom
