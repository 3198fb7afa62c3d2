// Generated meshes shared by the tests, as host-style arrays (float points, -2 separated
// polygonal description).
#pragma once

#include <cstdint>
#include <vector>

#include "core/topo_store.h"

namespace tsl::test {

struct HostMesh {
  std::vector<Float3> points;
  std::vector<std::int32_t> description;

  // Appends other's polygons (indices shifted past this mesh's points).
  void append(const HostMesh& other) {
    const auto base = static_cast<std::int32_t>(points.size());
    points.insert(points.end(), other.points.begin(), other.points.end());
    for (std::int32_t v : other.description) description.push_back(v == -2 ? -2 : v + base);
  }
  std::size_t faceCount() const {
    std::size_t n = 0;
    for (std::int32_t v : description) n += v == -2;
    return n;
  }
};

// Axis-aligned box from lo to hi: 8 points (x fastest, then y, then z) and 6 outward quads.
inline HostMesh box(Float3 lo, Float3 hi) {
  HostMesh m;
  for (int k = 0; k < 8; ++k) {
    m.points.push_back({(k & 1) ? hi.x : lo.x, (k & 2) ? hi.y : lo.y, (k & 4) ? hi.z : lo.z});
  }
  m.description = {0, 2, 3, 1, -2, 4, 5, 7, 6, -2, 0, 1, 5, 4, -2,
                   2, 6, 7, 3, -2, 0, 4, 6, 2, -2, 1, 3, 7, 5, -2};
  return m;
}

// Cube of side 2 centred at c.
inline HostMesh cube(Float3 c = {0, 0, 0}, float half = 1.0f) {
  return box({c.x - half, c.y - half, c.z - half}, {c.x + half, c.y + half, c.z + half});
}

// The same surface wound inwards.
inline HostMesh inverted(HostMesh m) {
  std::vector<std::int32_t> out;
  std::vector<std::int32_t> poly;
  for (std::int32_t v : m.description) {
    if (v == -2) {
      out.insert(out.end(), poly.rbegin(), poly.rend());
      out.push_back(-2);
      poly.clear();
    } else {
      poly.push_back(v);
    }
  }
  m.description = out;
  return m;
}

// Removes polygon index face from the description.
inline HostMesh withoutFace(HostMesh m, std::size_t face) {
  std::vector<std::int32_t> out;
  std::size_t f = 0;
  for (std::int32_t v : m.description) {
    if (f != face) out.push_back(v);
    if (v == -2) ++f;
  }
  m.description = out;
  return m;
}

// Two disjoint triangles over points 0..5.
inline HostMesh twoTriangles() {
  return {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}},
          {0, 1, 2, -2, 3, 4, 5, -2}};
}

// An n x n grid of unit quads in the z = 0 plane, (n+1)^2 points.
inline HostMesh quadGrid(int n) {
  HostMesh m;
  m.points.reserve(static_cast<std::size_t>((n + 1) * (n + 1)));
  m.description.reserve(static_cast<std::size_t>(n * n * 5));
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i) m.points.push_back({float(i), float(j), 0.0f});
  }
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i;
      m.description.insert(m.description.end(), {a, a + 1, a + n + 2, a + n + 1, -2});
    }
  }
  return m;
}

// A closed triangle knife: its topology as (a, b, c, -2) per triangle and its points.
struct Knife {
  std::vector<std::int32_t> descriptor;
  std::vector<Float3> points;

  // The points moved by d, appended after the existing instances' points.
  void addInstance(const std::vector<Float3>& shape, Float3 d) {
    for (const Float3& p : shape) points.push_back({p.x + d.x, p.y + d.y, p.z + d.z});
  }
};

// Octahedron of radius r centred at the origin: 6 points, 8 outward triangles.
inline Knife octahedron(float r) {
  Knife k;
  k.points = {{r, 0, 0}, {-r, 0, 0}, {0, r, 0}, {0, -r, 0}, {0, 0, r}, {0, 0, -r}};
  k.descriptor = {0, 2, 4, -2, 2, 1, 4, -2, 1, 3, 4, -2, 3, 0, 4, -2,
                  2, 0, 5, -2, 1, 2, 5, -2, 3, 1, 5, -2, 0, 3, 5, -2};
  return k;
}

// Tetrahedron with outward triangles: 4 points.
inline Knife tetrahedron(float r) {
  Knife k;
  k.points = {{r, r, r}, {r, -r, -r}, {-r, r, -r}, {-r, -r, r}};
  k.descriptor = {0, 1, 2, -2, 0, 3, 1, -2, 0, 2, 3, -2, 1, 3, 2, -2};
  return k;
}

}  // namespace tsl::test
