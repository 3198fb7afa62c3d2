// Repeated evaluation must not grow the process: once the module store has reached the size of
// the result, a thousand more evaluations of the same small inputs run in the memory they
// already have. A leak of one working mesh, engine or attribute map per evaluation shows up as
// steady growth of the resident set and of the heap in use.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

#include "support/mesh_builders.h"
#include "support/plugin_session.h"
#include "support/sanitizer.h"

namespace {

using host::OutputState;
using tsl::Float3;
using namespace tsl::test;

// Resident set of this process in bytes, from /proc/self/statm (second field, in pages).
std::size_t residentBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long size = 0, resident = 0;
  const int n = std::fscanf(f, "%lu %lu", &size, &resident);
  std::fclose(f);
  return n == 2 ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

std::size_t heapInUse() {
  const struct mallinfo2 mi = mallinfo2();
  return mi.uordblks + mi.hblkhd;
}

struct Workload {
  const char* node;
  std::uint32_t output;
  std::function<void(host::Host&)> connect;
};

void PrintTo(const Workload& w, std::ostream* os) {
  *os << w.node;
}

std::vector<host::Vec3f> uvw(std::size_t n) {
  std::vector<host::Vec3f> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = {0.25f * float(i % 4), 0.5f, 0.0f};
  return v;
}

const std::vector<std::int32_t> kSixIds{1, 2, 3, 4, 5, 6};

// Each node on a cube, with identifiers and UVW so that the attribute paths run too.
std::vector<Workload> workloads() {
  return {
      {"TSL_Combiner", 202,
       [](host::Host& h) {
         connectMesh(h, 0, 1, cube());
         h.connectVector3Array(2, uvw(24));
         h.connectLongArray(3, kSixIds);
       }},
      {"TSL_ICE_Boolean", 201,
       [](host::Host& h) {
         connectMesh(h, 0, 1, cube());
         connectMesh(h, 3, 4, cube({1.0f, 0.5f, 0.25f}));
         h.connectVector3Array(2, uvw(24));
         h.connectLongArray(9, kSixIds);
         h.connectLong(6, 4);  // symmetric difference: both operands cut
       }},
      {"TSL_Voronoi", 200,
       [](host::Host& h) {
         connectMesh(h, 0, 1, cube());
         h.connectVector3Array(2, uvw(24));
         h.connectLongArray(6, kSixIds);
         h.connectVector3Array(3, std::vector<host::Vec3f>{{-0.5f, 0, 0}, {0.5f, 0.1f, 0}});
         h.connectFloat(4, 0.1f);
       }},
      {"TSL_Continuous", 200,
       [](host::Host& h) {
         connectMesh(h, 0, 1, cube());
         h.connectVector3Array(2, uvw(24));
         h.connectLongArray(3, kSixIds);
         Knife k = octahedron(0.5f);
         Knife knives;
         knives.descriptor = k.descriptor;
         knives.addInstance(k.points, {1, 0, 0});
         knives.addInstance(k.points, {0, 1, 0});
         h.connectVector3Array(4, toVec3f(knives.points));
         h.connectLongArray(5, knives.descriptor);
         h.connectVector3Array(6, uvw(24));
       }},
  };
}

class MemoryFlat : public ::testing::TestWithParam<Workload> {};

TEST_P(MemoryFlat, ThousandEvaluationsKeepTheProcessFlat) {
  constexpr int kWarmUp = 50;
  constexpr int kEvaluations = 1000;
  const Workload& w = GetParam();
  host::Host h(pluginPath(w.node));
  w.connect(h);

  std::size_t rss0 = 0, heap0 = 0;
  for (int i = 0; i < kEvaluations; ++i) {
    if (i == kWarmUp) {
      rss0 = residentBytes();
      heap0 = heapInUse();
    }
    h.clearLog();  // the host's own log would grow otherwise
    h.beginEvaluate();
    h.evaluate(w.output);
    ASSERT_EQ(h.customOutput(w.output).state, OutputState::Data) << "evaluation " << i;
    ASSERT_EQ(h.log().size(), 3u) << "evaluation " << i << ": " << h.log().front().text;
  }
  const std::size_t rss1 = residentBytes();
  // The workload is the one meant: a result with faces (the Boolean and the knives cut).
  EXPECT_GE(readRecord(h.customOutput(w.output)).polygons.size(), 6u * 5u);
  const std::size_t heap1 = heapInUse();
  expectCleanCalls(h);

  std::printf("[ memory   ] %s: resident %zu -> %zu KiB, heap in use %zu -> %zu KiB\n", w.node,
              rss0 / 1024, rss1 / 1024, heap0 / 1024, heap1 / 1024);
#ifdef TSL_UNDER_ASAN
  // The sanitizer's quarantine and shadow memory make both figures move on their own; leaks are
  // LeakSanitizer's business in that build.
  GTEST_SKIP() << "memory figures are not meaningful under AddressSanitizer";
#else
  const auto growth = [](std::size_t before, std::size_t after) {
    return after > before ? after - before : 0;
  };
  // 950 evaluations: a leak of 1 KiB each would add almost 1 MiB.
  EXPECT_LT(growth(heap0, heap1), 64u * 1024u);
  EXPECT_LT(growth(rss0, rss1), 512u * 1024u);
#endif
}

INSTANTIATE_TEST_SUITE_P(Nodes, MemoryFlat, ::testing::ValuesIn(workloads()),
                         [](const ::testing::TestParamInfo<Workload>& info) {
                           std::string name = std::string(info.param.node).substr(4);
                           std::erase(name, '_');
                           return name;
                         });

}  // namespace
