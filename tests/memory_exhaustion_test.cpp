// Every node meeting memory exhaustion inside its own evaluation, end to end through the host
// face: whichever allocation of the plug-in's code fails, the evaluation ends with exactly one
// error line, "<prefix>Out of memory, break", and the empty output; never a partial or
// passed-through result, never a geometry message, never an escaped exception or a held array;
// and the next evaluation gives the full result again.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "boolean/ports.h"
#include "combiner/ports.h"
#include "continuous/ports.h"
#include "support/allocation_failure.h"
#include "support/plugin_session.h"
#include "voronoi/ports.h"

namespace {

using namespace tsl::test;

struct NodeCase {
  const char* name;  // of the test case
  const char* node;
  std::uint32_t output;
  const char* outOfMemory;
  std::function<void(host::Host&)> wire;

  friend void PrintTo(const NodeCase& c, std::ostream* os) { *os << c.name; }
};

void wireCombiner(host::Host& h) {
  namespace port = tsl::combiner::port;
  connectMesh(h, port::kPoints, port::kDescription, cube());
  h.connectLongArray(port::kFaceId, std::vector<std::int32_t>{1, 2, 3, 4, 5, 6});
}

void wireBoolean(host::Host& h) {
  namespace port = tsl::boolean::port;
  connectMesh(h, port::kAPoints, port::kADescription, cube());
  connectMesh(h, port::kBPoints, port::kBDescription, cube({1, 0.5f, 0.25f}));
  h.connectLongArray(port::kAFaceId, std::vector<std::int32_t>{1, 2, 3, 4, 5, 6});
  h.connectLong(port::kFunction, 2);
}

void wireVoronoi(host::Host& h) {
  namespace port = tsl::voronoi::port;
  connectMesh(h, port::kPoints, port::kDescription, cube());
  h.connectVector3Array(port::kCentres,
                        std::vector<host::Vec3f>{{-0.5f, 0, 0}, {0.5f, 0.1f, 0}, {0, 0.6f, 0.2f}});
  h.connectFloat(port::kThickness, 0.05f);
}

void wireContinuous(host::Host& h) {
  namespace port = tsl::continuous::port;
  connectMesh(h, port::kPoints, port::kDescription, cube());
  const Knife o = octahedron(0.6f);
  Knife k;
  k.descriptor = o.descriptor;
  k.addInstance(o.points, {1, 1, 1});
  k.addInstance(o.points, {-1, -1, 1});
  h.connectVector3Array(port::kKnifePoints, toVec3f(k.points));
  h.connectLongArray(port::kKnifeDescriptor, k.descriptor);
}

const NodeCase kCases[] = {
    {"Combiner", "TSL_Combiner", tsl::combiner::port::kOutput, "TSL COMBINER: Out of memory, break",
     wireCombiner},
    {"Boolean", "TSL_ICE_Boolean", tsl::boolean::port::kOutput, "ICE BOOLEAN: Out of memory, break",
     wireBoolean},
    {"Voronoi", "TSL_Voronoi", tsl::voronoi::port::kOutput, "TSL VORONOI: Out of memory, break",
     wireVoronoi},
    {"Continuous", "TSL_Continuous", tsl::continuous::port::kOutput,
     "TSL CONT: Out of memory, break", wireContinuous},
};

// The allocations to refuse out of the n a run makes: every one of the first few (the port
// readers, the working mesh), then evenly spread over the rest (the engine, the store).
std::vector<std::size_t> sample(std::size_t n) {
  std::vector<std::size_t> picks;
  for (std::size_t k = 1; k <= std::min<std::size_t>(n, 24); ++k) picks.push_back(k);
  constexpr std::size_t kSpread = 200;
  for (std::size_t i = 1; i <= kSpread; ++i)
    picks.push_back(std::max<std::size_t>(1, n * i / kSpread));
  std::sort(picks.begin(), picks.end());
  picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
  return picks;
}

class MemoryExhaustion : public ::testing::TestWithParam<NodeCase> {
 protected:
  const NodeCase& c = GetParam();
  host::Host h{pluginPath(c.node)};

  void evaluate() {
    h.clearLog();
    h.beginEvaluate();
    h.evaluate(c.output);
    expectCleanCalls(h);
  }
};

TEST_P(MemoryExhaustion, EveryFailedAllocationGivesOneErrorLineAndTheEmptyOutput) {
  c.wire(h);
  // The first evaluation grows the module store; later ones reuse its capacity and allocate
  // less, so the count comes from the second.
  evaluate();
  std::size_t allocations = 0;
  {
    const AllocationFailure counting(h.path(), 0);
    evaluate();
    allocations = counting.allocations();
  }
  ASSERT_EQ(h.customOutput(c.output).state, OutputState::Data) << ::testing::PrintToString(h.log());
  const std::vector<LogLine> fullLog = h.log();
  ASSERT_GT(allocations, 10u);

  const std::vector<LogLine> outOfMemory{{2, c.outOfMemory}};
  for (std::size_t n : sample(allocations)) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations));
    bool refused = false;
    {
      const AllocationFailure failing(h.path(), n);
      evaluate();
      refused = failing.refused();
    }
    if (!refused) {
      // The Voronoi node's jitter makes runs differ a little in what they allocate: one that
      // ended before its n-th allocation is a whole run, and only the last few may be.
      EXPECT_GE(n, allocations * 9 / 10);
      EXPECT_EQ(h.customOutput(c.output).state, OutputState::Data);
      continue;
    }
    EXPECT_EQ(h.log(), outOfMemory);
    EXPECT_EQ(h.customOutput(c.output).state, OutputState::Empty);
  }

  evaluate();
  EXPECT_EQ(h.log(), fullLog);
  // The Voronoi node jitters its centres with rand(), so a run is known by its counts.
  EXPECT_EQ(h.customOutput(c.output).state, OutputState::Data);
}

INSTANTIATE_TEST_SUITE_P(Nodes, MemoryExhaustion, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
