// geom::Csg against CGAL's own Boolean functions on two overlapping spheres and on real meshes
// of libcgal-demo's data, each with a copy of itself turned by 0.5 rad about z around its box
// centre and moved by (0.3, 0.2, 0.1) times its half size (coordinates rounded to float, as a
// host holds them).
//
//   csg_bench [REPS]                 the table
//   csg_bench --profile CASE OP      ours once, in this process (for perf), then CGAL's time
//                                    (median of five children); CASE is a triangle count or a
//                                    mesh file name, OP union|intersection|a-b
//
// Every measurement runs in a forked child that builds its inputs and then runs one operation.
// Memory is the heap in use, counted by this program's operator new and delete: "extra" is
// the peak during the operation above what was in use before it (the inputs), "total" the
// peak including the inputs. Times are the median of several children; ours, CGAL's and the
// node's children take turns.
//   ours:     Polyhedron in, Polyhedron out, end to end (validation with the full
//             self-intersection test, corefinement, classification, assembly, polygon
//             merge, provenance); CLASSIFY_EDGE as the nodes use it, and one row with
//             CLASSIFY_NORMAL (point-in-solid tests).
//   node:     the Boolean node's evaluate call through the host (float arrays in, ports read,
//             normalisation, engine, result written and published), as `tessellon boolean
//             --json` reports it in "seconds"; the classification the node uses by default.
//   baseline: CGAL::Polygon_mesh_processing::corefine_and_compute_{union,intersection,
//             difference} on Surface_mesh copies of the same triangles.
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Surface_mesh.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "geom/csg.h"
#include "harness.h"
#include "host/host.h"
#include "support/csg_demo_meshes.h"
#include "support/csg_meshes.h"

// The replacement operators pair malloc with free themselves; GCC cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::size_t g_heap = 0, g_peak = 0;  // single-threaded program

void* counted(void* p) {
  if (p == nullptr) throw std::bad_alloc();
  g_heap += malloc_usable_size(p);
  if (g_heap > g_peak) g_peak = g_heap;
  return p;
}
void uncounted(void* p) noexcept {
  if (p == nullptr) return;
  g_heap -= malloc_usable_size(p);
  std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
  return counted(std::malloc(n ? n : 1));
}
void* operator new[](std::size_t n) {
  return counted(std::malloc(n ? n : 1));
}
void* operator new(std::size_t n, std::align_val_t a) {
  return counted(std::aligned_alloc(
      static_cast<std::size_t>(a),
      (n + static_cast<std::size_t>(a) - 1) & ~(static_cast<std::size_t>(a) - 1)));
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return operator new(n, a);
}
void operator delete(void* p) noexcept {
  uncounted(p);
}
void operator delete[](void* p) noexcept {
  uncounted(p);
}
void operator delete(void* p, std::size_t) noexcept {
  uncounted(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  uncounted(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  uncounted(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  uncounted(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  uncounted(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  uncounted(p);
}

namespace {

using geom::Csg;
using geom::Polyhedron;
using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<K::Point_3>;
namespace PMP = CGAL::Polygon_mesh_processing;

struct Sample {
  double seconds = 0;
  double extraMiB = 0;
  double totalMiB = 0;
  geom::CsgTimings stages;
};

template <class F>
Sample timed(F&& op) {
  const std::size_t before = g_heap;
  g_peak = g_heap;
  const auto t0 = std::chrono::steady_clock::now();
  Sample s;
  s.stages = op();
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  s.extraMiB = double(g_peak - before) / (1 << 20);
  s.totalMiB = double(g_peak) / (1 << 20);
  return s;
}

struct Inputs {
  Polyhedron a, b;
};

Inputs spheres(int triangles) {
  // 2 * slices * (stacks - 1) triangles per sphere.
  const int slices = triangles >= 100000 ? 400 : 100;
  const int stacks = triangles / (2 * slices) + 1;
  Inputs in{tsl::csgtest::uvSphere(slices, stacks, {0, 0, 0}, 1.0),
            tsl::csgtest::transformed(tsl::csgtest::uvSphere(slices, stacks, {0, 0, 0}, 1.0),
                                      tsl::csgtest::rigid({0, 1, 0}, 0.3, {0.5, 0.1, 0.05}))};
  return in;
}

// Fan triangles of every face, so that both engines get the same triangles.
Polyhedron triangulated(const Polyhedron& p) {
  std::vector<std::vector<int>> tris;
  for (std::size_t f = 0; f < p.faceCount(); ++f) {
    const auto face = p.face(f);
    for (std::size_t k = 1; k + 1 < face.size(); ++k)
      tris.push_back({face[0], face[k], face[k + 1]});
  }
  return tsl::csgtest::fromFaces(p.vertices(), tris);
}

Inputs realPair(const std::string& name) {
  const Polyhedron m = triangulated(tsl::csgtest::loadDemo(name));
  geom::Vec3 lo = m.vertices().front(), hi = lo;
  for (const geom::Vec3& v : m.vertices()) {
    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
  }
  const geom::Vec3 mid = (lo + hi) * 0.5, half = (hi - lo) * 0.5;
  const double cs = std::cos(0.5), sn = std::sin(0.5);
  std::vector<geom::Vec3> a, b;
  for (const geom::Vec3& v : m.vertices()) {
    const auto f = [](double x) { return double(float(x)); };
    a.push_back({f(v.x), f(v.y), f(v.z)});
    const double x = v.x - mid.x, y = v.y - mid.y;
    b.push_back({f(mid.x + cs * x - sn * y + 0.3 * half.x),
                 f(mid.y + sn * x + cs * y + 0.2 * half.y), f(v.z + 0.1 * half.z)});
  }
  std::vector<std::vector<int>> faces;
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const auto face = m.face(f);
    faces.emplace_back(face.begin(), face.end());
  }
  return {tsl::csgtest::fromFaces(a, faces), tsl::csgtest::fromFaces(b, faces)};
}

// A case: a triangle count for the spheres, or a mesh file name.
Inputs inputs(const std::string& name) {
  if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0])))
    return spheres(std::atoi(name.c_str()));
  return realPair(name);
}

Mesh toMesh(const Polyhedron& p) {
  Mesh m;
  for (const geom::Vec3& v : p.vertices()) m.add_vertex(K::Point_3(v.x, v.y, v.z));
  for (std::size_t f = 0; f < p.faceCount(); ++f) {
    const auto face = p.face(f);
    m.add_face(Mesh::Vertex_index(face[0]), Mesh::Vertex_index(face[1]),
               Mesh::Vertex_index(face[2]));
  }
  return m;
}

Sample ours(const std::string& name, Csg::OP op, Csg::CLASSIFY_TYPE type) {
  return bench::inChild<Sample>([=] {
    const Inputs in = inputs(name);
    Csg csg;
    std::size_t faces = 0;
    Sample s = timed([&] {
      faces = csg.compute(in.a, in.b, op, type)->faceCount();
      return csg.timings();
    });
    if (faces == 0) s.seconds = -1;
    return s;
  });
}

// The Boolean node's function port value of op.
int functionOf(Csg::OP op) {
  return op == Csg::UNION ? 0 : op == Csg::INTERSECTION ? 1 : 2;
}

Sample node(const std::string& name, Csg::OP op) {
  return bench::inChild<Sample>([=] {
    std::vector<host::Vec3f> points[2];
    std::vector<std::int32_t> description[2];
    {
      const Inputs in = inputs(name);
      const Polyhedron* meshes[2] = {&in.a, &in.b};
      for (int m = 0; m < 2; ++m) {
        for (const geom::Vec3& v : meshes[m]->vertices())
          points[m].push_back({float(v.x), float(v.y), float(v.z)});
        for (std::size_t f = 0; f < meshes[m]->faceCount(); ++f) {
          for (const int v : meshes[m]->face(f)) description[m].push_back(v);
          description[m].push_back(-2);
        }
      }
    }
    host::Host h(std::string(TSL_PLUGIN_DIR) + "/TSL_ICE_Boolean.so");
    h.connectVector3Array(0, points[0]);
    h.connectLongArray(1, description[0]);
    h.connectVector3Array(3, points[1]);
    h.connectLongArray(4, description[1]);
    h.connectLong(6, functionOf(op));
    Sample s = timed([&] {
      h.beginEvaluate();
      h.evaluate(201);
      return geom::CsgTimings{};
    });
    if (h.customOutput(201).state != host::OutputState::Data || h.log().size() != 3) s.seconds = -1;
    return s;
  });
}

Sample cgal(const std::string& name, Csg::OP op) {
  return bench::inChild<Sample>([=] {
    Mesh a, b, out;
    {
      const Inputs in = inputs(name);
      a = toMesh(in.a);
      b = toMesh(in.b);
    }
    Sample s = timed([&] {
      bool ok = false;
      if (op == Csg::UNION) ok = PMP::corefine_and_compute_union(a, b, out);
      if (op == Csg::INTERSECTION) ok = PMP::corefine_and_compute_intersection(a, b, out);
      if (op == Csg::A_MINUS_B) ok = PMP::corefine_and_compute_difference(a, b, out);
      if (!ok) std::exit(1);
      return geom::CsgTimings{};
    });
    return s;
  });
}

// The median sample by time, with the largest memory figures of all.
Sample medianOf(std::vector<Sample> all) {
  double totalMiB = 0;
  for (const Sample& s : all) totalMiB = std::max(totalMiB, s.totalMiB);
  Sample m = bench::median(std::move(all));
  m.totalMiB = totalMiB;
  return m;
}

Sample median(const std::function<Sample()>& run, int reps) {
  std::vector<Sample> all;
  for (int i = 0; i < reps; ++i) all.push_back(run());
  return medianOf(std::move(all));
}

}  // namespace

int main(int argc, char** argv) {
  const struct {
    Csg::OP op;
    Csg::CLASSIFY_TYPE type;
    const char* name;
  } ops[] = {{Csg::UNION, Csg::CLASSIFY_EDGE, "union"},
             {Csg::INTERSECTION, Csg::CLASSIFY_EDGE, "intersection"},
             {Csg::A_MINUS_B, Csg::CLASSIFY_EDGE, "a-b"},
             {Csg::UNION, Csg::CLASSIFY_NORMAL, "union normal"}};
  if (argc == 4 && std::strcmp(argv[1], "--profile") == 0) {
    const Inputs in = inputs(argv[2]);
    for (const auto& o : ops) {
      if (std::strcmp(o.name, argv[3]) != 0) continue;
      Csg csg;
      const auto t0 = std::chrono::steady_clock::now();
      const std::size_t faces = csg.compute(in.a, in.b, o.op, o.type)->faceCount();
      const geom::CsgTimings& t = csg.timings();
      std::printf(
          "%zu faces in %.3f s: validate %.3f self-int %.3f corefine %.3f classify %.3f "
          "assemble %.3f result %.3f\n",
          faces, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
          t.validate, t.selfIntersection, t.corefine, t.classify, t.assemble, t.hooks);
      // CGAL's own Boolean on the same triangles, median of five, for the ratio.
      if (o.type == Csg::CLASSIFY_EDGE) {
        std::printf("CGAL's own: %.3f s (median of 5)\n",
                    median([&] { return cgal(argv[2], o.op); }, 5).seconds);
      }
      return 0;
    }
    std::fprintf(stderr, "unknown operation %s\n", argv[3]);
    return 64;
  }
  const int reps = argc > 1 ? std::atoi(argv[1]) : 3;
  std::printf("%-25s %7s %7s %5s | %21s %5s | %21s %5s | %7s %5s | %s\n", "case", "ours s",
              "cgal s", "x", "extra MiB ours / cgal", "x", "total MiB ours / cgal", "x", "node s",
              "x", "ours by stage (s): validate self-int corefine classify assemble result");
  for (const char* name :
       {"20000", "200000", "bunny00.off", "armadillo.off", "fandisk_large.off"}) {
    for (const auto& o : ops) {
      // The three take turns, so that a slower spell of the machine falls on all of them.
      // The node classifies by edges; the row of the other classification has no node figure.
      std::vector<Sample> runs[3];
      for (int r = 0; r < reps; ++r) {
        runs[0].push_back(ours(name, o.op, o.type));
        runs[1].push_back(cgal(name, o.op));
        if (o.type == Csg::CLASSIFY_EDGE) runs[2].push_back(node(name, o.op));
      }
      const Sample us = medianOf(runs[0]);
      const Sample them = medianOf(runs[1]);
      const Sample viaNode = runs[2].empty() ? Sample{} : medianOf(runs[2]);
      const geom::CsgTimings& t = us.stages;
      char nodeColumns[32] = "      -     -";
      if (o.type == Csg::CLASSIFY_EDGE) {
        std::snprintf(nodeColumns, sizeof nodeColumns, "%7.3f %5.2f", viaNode.seconds,
                      viaNode.seconds / them.seconds);
      }
      std::printf(
          "%-12s %-12s %7.3f %7.3f %5.2f | %10.1f / %8.1f %5.2f | %10.1f / %8.1f %5.2f | %s | "
          "%.3f %.3f %.3f %.3f %.3f %.3f\n",
          o.name, name, us.seconds, them.seconds, us.seconds / them.seconds, us.extraMiB,
          them.extraMiB, us.extraMiB / them.extraMiB, us.totalMiB, them.totalMiB,
          us.totalMiB / them.totalMiB, nodeColumns, t.validate, t.selfIntersection, t.corefine,
          t.classify, t.assemble, t.hooks);
      std::fflush(stdout);
    }
  }
  return 0;
}
