// geom::Csg against CGAL's own Boolean functions on two overlapping spheres.
//
// Every measurement runs in a forked child that builds its inputs and then runs one operation.
// Memory is the heap in use, counted by this program's operator new and delete: "extra" is
// the peak during the operation above what was in use before it (the inputs), "total" the
// peak including the inputs. Times are the median of several children.
//   ours:     Polyhedron in, Polyhedron out, end to end (validation with the full
//             self-intersection test, corefinement, classification, assembly, polygon
//             merge, provenance); CLASSIFY_EDGE as the nodes use it, and one row with
//             CLASSIFY_NORMAL (point-in-solid tests).
//   baseline: CGAL::Polygon_mesh_processing::corefine_and_compute_{union,intersection,
//             difference} on Surface_mesh copies of the same triangles.
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Surface_mesh.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <vector>

#include "geom/csg.h"
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

// Runs job in a child; job builds its inputs, then calls the supplied `measured` around the
// operation itself.
Sample inChild(const std::function<Sample()>& job) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const Sample s = job();
    if (write(fds[1], &s, sizeof s) != sizeof s) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Sample s;
  if (read(fds[0], &s, sizeof s) != sizeof s) s = {};
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return s;
}

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

Sample ours(int triangles, Csg::OP op, Csg::CLASSIFY_TYPE type) {
  return inChild([=] {
    const Inputs in = spheres(triangles);
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

Sample cgal(int triangles, Csg::OP op) {
  return inChild([=] {
    Mesh a, b, out;
    {
      const Inputs in = spheres(triangles);
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

Sample median(const std::function<Sample()>& run, int reps) {
  std::vector<Sample> all;
  for (int i = 0; i < reps; ++i) all.push_back(run());
  std::sort(all.begin(), all.end(),
            [](const Sample& x, const Sample& y) { return x.seconds < y.seconds; });
  Sample m = all[all.size() / 2];
  for (const Sample& s : all) {
    m.extraMiB = std::max(m.extraMiB, s.extraMiB);
    m.totalMiB = std::max(m.totalMiB, s.totalMiB);
  }
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::atoi(argv[1]) : 3;
  std::printf("%-21s %7s %7s %5s | %21s %5s | %21s %5s | %s\n", "case (tris/sphere)", "ours s",
              "cgal s", "x", "extra MiB ours / cgal", "x", "total MiB ours / cgal", "x",
              "ours by stage (s): validate self-int corefine classify assemble result");
  const struct {
    Csg::OP op;
    Csg::CLASSIFY_TYPE type;
    const char* name;
  } ops[] = {{Csg::UNION, Csg::CLASSIFY_EDGE, "union"},
             {Csg::INTERSECTION, Csg::CLASSIFY_EDGE, "intersection"},
             {Csg::A_MINUS_B, Csg::CLASSIFY_EDGE, "a-b"},
             {Csg::UNION, Csg::CLASSIFY_NORMAL, "union normal"}};
  for (int tris : {20000, 200000}) {
    for (const auto& o : ops) {
      const Sample us = median([&] { return ours(tris, o.op, o.type); }, reps);
      const Sample them = median([&] { return cgal(tris, o.op); }, reps);
      const geom::CsgTimings& t = us.stages;
      std::printf(
          "%-13s %7d %7.3f %7.3f %5.2f | %10.1f / %8.1f %5.2f | %10.1f / %8.1f %5.2f | "
          "%.3f %.3f %.3f %.3f %.3f %.3f\n",
          o.name, tris, us.seconds, them.seconds, us.seconds / them.seconds, us.extraMiB,
          them.extraMiB, us.extraMiB / them.extraMiB, us.totalMiB, them.totalMiB,
          us.totalMiB / them.totalMiB, t.validate, t.selfIntersection, t.corefine, t.classify,
          t.assemble, t.hooks);
      std::fflush(stdout);
    }
  }
  return 0;
}
