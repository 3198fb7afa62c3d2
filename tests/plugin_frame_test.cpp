// What the shared frame gives every real plug-in: the exports (the two entry points and the
// node's callbacks, and nothing of what is linked in statically: core, kernel, CGAL, Voro++, the
// standard library's instances, so that plug-ins loaded side by side never resolve each other's
// symbols) and the common registration of the node, its ports and its custom output.
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

class PluginFrame : public ::testing::TestWithParam<Exports> {};

TEST_P(PluginFrame, ExportsTheEntryPointsAndTheNodesCallbacksOnly) {
  const Exports& e = GetParam();
  std::vector<std::string> expected;
  for (const std::string& c : e.callbacks) expected.push_back(std::string(e.node) + c);
  expected.push_back("XSILoadPlugin");
  expected.push_back("XSIUnloadPlugin");
  EXPECT_EQ(exportedSymbols(pluginPath(e.node)), expected);
}

TEST_P(PluginFrame, RegistersTheCommonNodeSettings) {
  const host::Host h(pluginPath(GetParam().node));
  EXPECT_EQ(h.plugin().author, "Ondrel");
  EXPECT_EQ(h.plugin().version, (std::pair<std::int32_t, std::int32_t>{1, 0}));
  const host::NodeDefinition& n = h.node();
  const host::CustomTypeDef vastaTopo{
      "VastaTopo", "VastaTopo", "VastaTopo data for one-pass calculation", {128, 255, 5}};
  EXPECT_TRUE(n.customTypes == std::vector<host::CustomTypeDef>{vastaTopo});
  EXPECT_EQ(n.color, (host::Rgb{140, 109, 195}));
  EXPECT_EQ(n.threadingModel, 1u);
  EXPECT_TRUE((n.portGroups == std::vector<host::PortGroupDef>{{100, 1, 1, ""}}));
  EXPECT_EQ(n.categories, std::vector<std::string>{"Tessellon"});
  EXPECT_TRUE(n.registered);
  for (const host::InputPortDef& port : n.inputs) {
    SCOPED_TRACE(port.name);
    EXPECT_EQ(port.groupId, 100u);
    EXPECT_EQ(port.structureType, 3u);
    EXPECT_EQ(port.contextType, 1u);
    EXPECT_EQ(port.typeConstraintId, 4294967295u);
    EXPECT_EQ(port.structureConstraintId, 4294967295u);
    EXPECT_EQ(port.contextConstraintId, 402u);
  }
  // The custom output comes first; the Boolean's About text follows it.
  ASSERT_FALSE(n.outputs.empty());
  const auto& o = n.outputs[0];
  EXPECT_EQ(o.customTypes, std::vector<std::string>{"VastaTopo"});
  EXPECT_EQ(o.structureType, 1u);
  EXPECT_EQ(o.contextType, 1u);
  EXPECT_EQ(o.name, "Out Vtopo");
  EXPECT_EQ(o.scriptName, "Out_Vtopo");
  EXPECT_EQ(o.contextConstraintId, 402u);
  EXPECT_TRUE(h.failedAsserts().empty());
  EXPECT_TRUE(h.sdkErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, PluginFrame,
    ::testing::Values(Exports{"TSL_Combiner", {"_BeginEvaluate", "_Evaluate", "_Init"}},
                      Exports{"TSL_ICE_Boolean", {"_BeginEvaluate", "_Evaluate", "_Init", "_Term"}},
                      Exports{"TSL_Voronoi", {"_BeginEvaluate", "_Evaluate"}},
                      Exports{"TSL_Continuous", {"_BeginEvaluate", "_Evaluate"}}),
    [](const auto& info) { return std::string(info.param.node); });

}  // namespace
