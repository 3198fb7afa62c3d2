// What each real plug-in library exports: the two entry points and its node's callbacks, and
// nothing of what is linked in statically (core, kernel, CGAL, Voro++, the standard library's
// instances), so that plug-ins loaded side by side never resolve each other's symbols.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/exports.h"
#include "support/plugin_session.h"

namespace {

using namespace tsl::test;

struct Exports {
  const char* node;
  std::vector<std::string> callbacks;  // after the node's name

  friend void PrintTo(const Exports& e, std::ostream* os) { *os << e.node; }
};

class PluginExports : public ::testing::TestWithParam<Exports> {};

TEST_P(PluginExports, AreTheEntryPointsAndTheNodesCallbacksOnly) {
  const Exports& e = GetParam();
  std::vector<std::string> expected;
  for (const std::string& c : e.callbacks) expected.push_back(std::string(e.node) + c);
  expected.push_back("XSILoadPlugin");
  expected.push_back("XSIUnloadPlugin");
  EXPECT_EQ(exportedSymbols(pluginPath(e.node)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, PluginExports,
    ::testing::Values(Exports{"TSL_Combiner", {"_BeginEvaluate", "_Evaluate", "_Init"}},
                      Exports{"TSL_ICE_Boolean", {"_BeginEvaluate", "_Evaluate", "_Init", "_Term"}},
                      Exports{"TSL_Voronoi", {"_BeginEvaluate", "_Evaluate"}},
                      Exports{"TSL_Continuous", {"_BeginEvaluate", "_Evaluate"}}),
    [](const auto& info) { return std::string(info.param.node); });

}  // namespace
