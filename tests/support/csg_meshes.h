// Meshes and measures for the Boolean engine's tests and benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "geom/polyhedron.h"
#include "geom/triangulator.h"

namespace tsl::csgtest {

using geom::Polyhedron;
using geom::Vec3;

inline Polyhedron fromFaces(std::vector<Vec3> pts, const std::vector<std::vector<int>>& faces) {
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (const auto& f : faces) {
    corners.insert(corners.end(), f.begin(), f.end());
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
  }
  return Polyhedron(std::move(pts), std::move(offsets), std::move(corners));
}

// Axis-aligned box with outward quads.
inline Polyhedron box(Vec3 lo, Vec3 hi) {
  std::vector<Vec3> p;
  for (int k = 0; k < 8; ++k) {
    p.push_back({(k & 1) ? hi.x : lo.x, (k & 2) ? hi.y : lo.y, (k & 4) ? hi.z : lo.z});
  }
  return fromFaces(
      p, {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}});
}

inline Polyhedron cube(Vec3 c, double half = 1.0) {
  return box({c.x - half, c.y - half, c.z - half}, {c.x + half, c.y + half, c.z + half});
}

// Triangulated sphere from slices x stacks (2 * slices * (stacks - 1) triangles).
inline Polyhedron uvSphere(int slices, int stacks, Vec3 c, double r) {
  std::vector<Vec3> p{{c.x, c.y + r, c.z}};
  for (int i = 1; i < stacks; ++i) {
    const double th = M_PI * i / stacks;
    for (int j = 0; j < slices; ++j) {
      const double ph = 2 * M_PI * j / slices;
      p.push_back({c.x + r * std::sin(th) * std::cos(ph), c.y + r * std::cos(th),
                   c.z + r * std::sin(th) * std::sin(ph)});
    }
  }
  p.push_back({c.x, c.y - r, c.z});
  const int bottom = static_cast<int>(p.size()) - 1;
  auto id = [&](int i, int j) { return 1 + (i - 1) * slices + (j % slices); };
  std::vector<std::vector<int>> f;
  for (int j = 0; j < slices; ++j) f.push_back({0, id(1, j + 1), id(1, j)});
  for (int i = 1; i < stacks - 1; ++i) {
    for (int j = 0; j < slices; ++j) {
      f.push_back({id(i, j), id(i, j + 1), id(i + 1, j + 1)});
      f.push_back({id(i, j), id(i + 1, j + 1), id(i + 1, j)});
    }
  }
  for (int j = 0; j < slices; ++j) f.push_back({bottom, id(stacks - 1, j), id(stacks - 1, j + 1)});
  return fromFaces(std::move(p), f);
}

// Prism over a star polygon of `points` spikes: two non-convex 2n-gon caps and 2n quads.
inline Polyhedron starPrism(int points, double outer, double inner, double height) {
  std::vector<Vec3> p;
  const int n = 2 * points;
  for (int z = 0; z < 2; ++z) {
    for (int i = 0; i < n; ++i) {
      const double r = i % 2 ? inner : outer, a = 2 * M_PI * i / n;
      p.push_back({r * std::cos(a), r * std::sin(a), z ? height / 2 : -height / 2});
    }
  }
  std::vector<std::vector<int>> f(2);
  for (int i = 0; i < n; ++i) {
    f[0].push_back(n - 1 - i);
    f[1].push_back(n + i);
    f.push_back({i, (i + 1) % n, n + (i + 1) % n, n + i});
  }
  return fromFaces(std::move(p), f);
}

// Cube of side 2 at the origin whose faces are n x n grids of quads.
inline Polyhedron gridCube(int n) {
  std::vector<Vec3> p;
  std::map<std::tuple<int, int, int>, int> index;
  auto at = [&](int i, int j, int k) {
    auto [it, fresh] = index.emplace(std::make_tuple(i, j, k), static_cast<int>(p.size()));
    if (fresh) p.push_back({2.0 * i / n - 1, 2.0 * j / n - 1, 2.0 * k / n - 1});
    return it->second;
  };
  std::vector<std::vector<int>> f;
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      for (int a = 0; a < n; ++a) {
        for (int b = 0; b < n; ++b) {
          auto corner = [&](int da, int db) {
            int c[3];
            c[axis] = side * n;
            c[(axis + 1) % 3] = a + da;
            c[(axis + 2) % 3] = b + db;
            return at(c[0], c[1], c[2]);
          };
          std::vector<int> q{corner(0, 0), corner(1, 0), corner(1, 1), corner(0, 1)};
          if (side == 0) std::reverse(q.begin(), q.end());
          f.push_back(q);
        }
      }
    }
  }
  return fromFaces(std::move(p), f);
}

// Both meshes as one, b's vertices numbered after a's.
inline Polyhedron merged(const Polyhedron& a, const Polyhedron& b) {
  std::vector<Vec3> pts = a.vertices();
  pts.insert(pts.end(), b.vertices().begin(), b.vertices().end());
  std::vector<std::vector<int>> f;
  for (std::size_t i = 0; i < a.faceCount(); ++i)
    f.emplace_back(a.face(i).begin(), a.face(i).end());
  for (std::size_t i = 0; i < b.faceCount(); ++i) {
    std::vector<int> face;
    for (int v : b.face(i)) face.push_back(v + static_cast<int>(a.vertexCount()));
    f.push_back(face);
  }
  return fromFaces(std::move(pts), f);
}

// The same surface wound the other way.
inline Polyhedron reversedFaces(const Polyhedron& m) {
  std::vector<std::vector<int>> f;
  for (std::size_t i = 0; i < m.faceCount(); ++i)
    f.emplace_back(m.face(i).rbegin(), m.face(i).rend());
  return fromFaces(m.vertices(), f);
}

// Rotation about a unit axis by angle (radians), then a move.
inline std::function<Vec3(const Vec3&)> rigid(Vec3 axis, double angle, Vec3 move) {
  const double c = std::cos(angle), s = std::sin(angle);
  return [=](const Vec3& v) {
    const Vec3 k = axis;
    const Vec3 r = v * c + geom::cross(k, v) * s + k * (geom::dot(k, v) * (1 - c));
    return r + move;
  };
}

inline Polyhedron transformed(const Polyhedron& m, const std::function<Vec3(const Vec3&)>& fn) {
  Polyhedron out(m);
  out.transform(fn);
  return out;
}

// Signed volume, each face cut into the triangles the engine takes it for (geom::Triangulator):
// for a planar face any triangulation gives the same volume, and a face that is not planar has
// no volume of its own but that of the surface the engine cuts.
inline double volume(const Polyhedron& m) {
  double v = 0;
  std::vector<Vec3> corners;
  std::vector<geom::Triangulator::Triangle> tris;
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    corners.clear();
    for (int i : m.face(f)) corners.push_back(m.vertices()[i]);
    tris.clear();
    geom::Triangulator::triangulateAlways(corners, tris);
    for (const auto& t : tris)
      v += geom::dot(corners[t[0]], geom::cross(corners[t[1]], corners[t[2]]));
  }
  return v / 6.0;
}

// Signed volume of each island.
inline std::vector<double> islandVolumes(const Polyhedron& m) {
  std::vector<double> v(m.manifoldCount(), 0.0);
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const auto face = m.face(f);
    const Vec3& a = m.vertices()[face[0]];
    for (std::size_t i = 1; i + 1 < face.size(); ++i) {
      v[m.manifold_id(f)] +=
          geom::dot(a, geom::cross(m.vertices()[face[i]], m.vertices()[face[i + 1]])) / 6.0;
    }
  }
  return v;
}

// Every edge is used as often in one direction as in the other: watertight, whatever the
// pairing of faces around edges shared by more than two of them.
inline bool balancedEdges(const Polyhedron& m) {
  std::map<std::pair<int, int>, int> count;
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const auto face = m.face(f);
    for (std::size_t i = 0; i < face.size(); ++i) {
      const int u = face[i], v = face[(i + 1) % face.size()];
      count[{std::min(u, v), std::max(u, v)}] += u < v ? 1 : -1;
    }
  }
  for (const auto& [edge, n] : count) {
    if (n != 0) return false;
  }
  return true;
}

inline bool allClosed(const Polyhedron& m) {
  for (bool c : m.manifold_is_closed()) {
    if (!c) return false;
  }
  return true;
}

// Number of faces per vertex count.
inline std::map<std::size_t, int> faceSizes(const Polyhedron& m) {
  std::map<std::size_t, int> h;
  for (std::size_t f = 0; f < m.faceCount(); ++f) ++h[m.face(f).size()];
  return h;
}

// Faces as position loops, for comparing meshes regardless of vertex numbering.
inline std::vector<std::vector<Vec3>> faceLoops(const Polyhedron& m) {
  std::vector<std::vector<Vec3>> loops;
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    std::vector<Vec3> l;
    for (int v : m.face(f)) l.push_back(m.vertices()[v]);
    loops.push_back(l);
  }
  return loops;
}

}  // namespace tsl::csgtest
