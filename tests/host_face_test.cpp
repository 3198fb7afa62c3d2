// The host face driving real plug-in libraries: the fixture plug-in (well behaved, its evaluate
// callback steered by its Mode port 9) and the broken one (registration mistakes, throwing
// callbacks).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "host/host.h"

namespace {

using host::Host;
using host::LogLine;
using host::OutputState;

constexpr std::uint32_t kRecord = 200, kAbout = 201, kMode = 9;
constexpr std::uint32_t kNone = 4294967295u;

// Lines whose text starts with prefix, in order.
std::vector<std::string> linesStarting(const Host& h, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& l : h.log())
    if (l.text.rfind(prefix, 0) == 0) out.push_back(l.text);
  return out;
}

bool stillMapped(const char* path) {
  void* h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

std::vector<std::uint8_t> iota40(std::uint8_t first) {
  std::vector<std::uint8_t> v(40);
  std::iota(v.begin(), v.end(), first);
  return v;
}

class FixtureHost : public ::testing::Test {
 protected:
  XSI::CStatus evaluateMode(std::int32_t mode) {
    h.connectLong(kMode, mode);
    return h.evaluate(kRecord);
  }
  Host h{TSL_FIXTURE_PLUGIN};
};

TEST_F(FixtureHost, RecordsPluginIdentityAndNodeSettings) {
  EXPECT_EQ(h.loadStatus(), XSI::CStatus::OK);
  EXPECT_TRUE(h.failedAsserts().empty());
  EXPECT_TRUE(h.sdkErrors().empty());
  EXPECT_TRUE(h.escapedExceptions().empty());

  const auto& p = h.plugin();
  EXPECT_EQ(p.name, "TSL Fixture Plugin");
  EXPECT_EQ(p.author, "Tessellon tests");
  ASSERT_TRUE(p.version.has_value());
  EXPECT_EQ(*p.version, std::make_pair(2, 7));
  ASSERT_EQ(p.nodes.size(), 1u);

  const auto& n = h.node();
  EXPECT_EQ(n.name, "TSL_Fixture");
  EXPECT_EQ(n.displayName, "TSL Fixture");
  ASSERT_EQ(n.customTypes.size(), 1u);
  EXPECT_EQ(n.customTypes[0].name, "FixtureTopo");
  EXPECT_EQ(n.customTypes[0].scriptName, "FixtureTopoScript");
  EXPECT_EQ(n.customTypes[0].description, "Fixture record");
  EXPECT_EQ(n.customTypes[0].color, (host::Rgb{10, 20, 30}));
  EXPECT_EQ(n.color, (host::Rgb{1, 2, 3}));
  EXPECT_EQ(n.threadingModel, 1u);
  ASSERT_EQ(n.portGroups.size(), 1u);
  EXPECT_EQ(n.portGroups[0].id, 100u);
  EXPECT_EQ(n.portGroups[0].minInstances, 1u);
  EXPECT_EQ(n.portGroups[0].maxInstances, 1u);
  EXPECT_EQ(n.portGroups[0].scriptName, "");
  EXPECT_TRUE(n.registered);
  EXPECT_EQ(n.categories, std::vector<std::string>{"Tessellon Tests"});
}

TEST_F(FixtureHost, RecordsEveryPortArgumentInOrder) {
  const auto& n = h.node();
  std::vector<std::uint32_t> ids;
  for (const auto& p : n.inputs) ids.push_back(p.id);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 9}));

  const auto* count = n.findInput(1);
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->groupId, 100u);
  EXPECT_EQ(count->dataType, 2u);
  EXPECT_EQ(count->structureType, 3u);
  EXPECT_EQ(count->contextType, 1u);
  EXPECT_EQ(count->name, "Count");
  EXPECT_EQ(count->scriptName, "Count_Script");
  EXPECT_EQ(count->defaultValue.GetType(), XSI::CValue::siInt4);
  EXPECT_EQ(count->defaultValue.GetInt(), 7);
  EXPECT_EQ(count->minValue.GetInt(), 0);
  EXPECT_EQ(count->minValue.GetType(), XSI::CValue::siInt4);
  EXPECT_EQ(count->maxValue.GetInt(), 100);
  EXPECT_EQ(count->typeConstraintId, 11u);
  EXPECT_EQ(count->structureConstraintId, 12u);
  EXPECT_EQ(count->contextConstraintId, 402u);

  const auto* points = n.findInput(0);
  ASSERT_NE(points, nullptr);
  ASSERT_EQ(points->defaultValue.GetType(), XSI::CValue::siVector3f);
  EXPECT_EQ(points->defaultValue.GetVector3f().GetZ(), 3.0f);
  EXPECT_TRUE(points->minValue.IsEmpty());
  EXPECT_TRUE(points->maxValue.IsEmpty());
  EXPECT_EQ(points->typeConstraintId, kNone);
  EXPECT_EQ(points->structureConstraintId, kNone);
  EXPECT_EQ(n.findInput(4)->defaultValue.GetType(), XSI::CValue::siDouble);
  EXPECT_EQ(n.findInput(7)->defaultValue.GetType(), XSI::CValue::siBool);

  ASSERT_EQ(n.outputs.size(), 2u);
  const auto& rec = n.outputs[0];
  EXPECT_EQ(rec.id, kRecord);
  EXPECT_EQ(rec.dataType, 65536u);
  EXPECT_EQ(rec.customTypes, std::vector<std::string>{"FixtureTopo"});
  EXPECT_EQ(rec.structureType, 1u);
  EXPECT_EQ(rec.contextType, 1u);
  EXPECT_EQ(rec.name, "Out Record");
  EXPECT_EQ(rec.scriptName, "Out_Record");
  EXPECT_EQ(rec.typeConstraintId, kNone);
  EXPECT_EQ(rec.structureConstraintId, kNone);
  EXPECT_EQ(rec.contextConstraintId, 402u);
  const auto& about = n.outputs[1];
  EXPECT_EQ(about.id, kAbout);
  EXPECT_EQ(about.dataType, 131072u);
  EXPECT_TRUE(about.customTypes.empty());
  EXPECT_EQ(about.structureType, 2u);
}

TEST_F(FixtureHost, FindsCallbacksByExportedName) {
  const auto cb = h.callbacks();
  EXPECT_TRUE(cb.init);
  EXPECT_FALSE(cb.term);
  EXPECT_TRUE(cb.beginEvaluate);
  EXPECT_TRUE(cb.evaluate);
  EXPECT_THROW(h.term(), host::UsageError);

  EXPECT_EQ(h.init(), XSI::CStatus::OK);
  h.connectLong(kMode, 3);
  EXPECT_EQ(h.beginEvaluate(), XSI::CStatus::OK);  // inputs are readable in begin-evaluate
  EXPECT_EQ(h.log(),
            (std::vector<LogLine>{{16, "fixture init ref=1"}, {16, "fixture begin mode=3"}}));
}

TEST_F(FixtureHost, UnconnectedPortsDeliverTheirDefaultConvertedToThePortType) {
  ASSERT_EQ(h.evaluate(kRecord), XSI::CStatus::OK);
  EXPECT_EQ(linesStarting(h, "in"), (std::vector<std::string>{
                                        "in0 t16 single (1,2,3)",  // 3-vector default
                                        "in1 t2 single 7",         // integer on long
                                        "in2 t4 single 0.25",      // double on float
                                        "in3 t1 single 1",         // integer on bool
                                        "in4 t2 single -2",        // double -2.75 on long
                                        "in5 t2 single -",         // empty default: no data
                                        "in6 t16 single -",        // integer on 3-vector: no data
                                        "in7 t4 single 1",         // bool on float
                                    }));
  EXPECT_TRUE(h.sdkErrors().empty());
  EXPECT_EQ(h.unreleasedArrays(), 0u);
}

TEST_F(FixtureHost, DeliversConnectedValuesAndReturnsToDefaultsOnDisconnect) {
  const std::vector<host::Vec3f> tri{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  h.connectVector3Array(0, tri);
  h.connectLong(1, 42);
  h.connectFloatArray(2, std::vector<float>{});
  h.connectBoolArray(3, {true, false});
  h.connectNoData(4);
  h.connectLongArray(5, std::vector<std::int32_t>{4, -5});
  const std::vector<host::Vec3f> two{{1, 2, 3}, {4, 5, 6}};
  h.connect(
      6, {16,
          true,
          {host::SubArrayData::of(two), host::SubArrayData::constantOf(host::Vec3f{9, 8, 7}, 5)}});
  h.connectFloat(7, 1.5f);
  ASSERT_EQ(h.evaluate(kRecord), XSI::CStatus::OK);
  EXPECT_EQ(linesStarting(h, "in"),
            (std::vector<std::string>{
                "in0 t16 array 1 subs [3] (0,0,0) (1,0,0) (0,1,0)",
                "in1 t2 single 42",
                "in2 t4 array 1 subs [0] -",
                "in3 t1 array 1 subs [2] 1 0",
                "in4 t2 single -",
                "in5 t2 array 1 subs [2] 4 -5",
                "in6 t16 array 2 subs [2] (1,2,3) (4,5,6) [5 const] (9,8,7)",
                "in7 t4 single 1.5",
            }));

  h.clearLog();
  h.disconnect(1);
  h.disconnect(6);
  ASSERT_EQ(h.evaluate(kRecord), XSI::CStatus::OK);
  const auto lines = linesStarting(h, "in");
  EXPECT_EQ(lines[1], "in1 t2 single 7");
  EXPECT_EQ(lines[6], "in6 t16 single -");
  EXPECT_EQ(lines[0], "in0 t16 array 1 subs [3] (0,0,0) (1,0,0) (0,1,0)");

  h.clearLog();
  h.disconnectAll();
  h.evaluate(kRecord);
  EXPECT_EQ(linesStarting(h, "in0")[0], "in0 t16 single (1,2,3)");
}

TEST_F(FixtureHost, FlatAccessToAnArrayGivesTheStoredElementsOfSubArrayZero) {
  const std::vector<host::Vec3f> two{{1, 2, 3}, {4, 5, 6}};
  h.connect(6, {16, true, {host::SubArrayData::of(two)}});
  evaluateMode(9);
  // A constant sub-array stores one element: flat access must not claim all five.
  h.connect(6, {16, true, {host::SubArrayData::constantOf(host::Vec3f{9, 8, 7}, 5)}});
  evaluateMode(9);
  EXPECT_EQ(linesStarting(h, "flat"),
            (std::vector<std::string>{"flat in6 n2 (1,2,3) (4,5,6)", "flat in6 n1 (9,8,7)"}));
}

TEST_F(FixtureHost, RejectsConnectionsThatDoNotFitThePort) {
  EXPECT_THROW(h.connectLongArray(0, std::vector<std::int32_t>{1}), host::UsageError);
  EXPECT_THROW(h.connectLong(8, 1), host::UsageError);  // no port 8
  EXPECT_THROW(h.disconnect(8), host::UsageError);
  host::InputValue shortBytes{2, true, {host::SubArrayData::of(std::vector<std::int32_t>{1, 2})}};
  shortBytes.subArrays[0].count = 3;
  EXPECT_THROW(h.connect(1, shortBytes), host::UsageError);
  EXPECT_THROW(h.connect(1, {2, false, {host::SubArrayData::of(std::vector<std::int32_t>{1, 2})}}),
               host::UsageError);
  EXPECT_THROW(h.connect(1, {2, true, {}}), host::UsageError);
  h.evaluate(kRecord);  // nothing was connected by the failed calls
  EXPECT_EQ(linesStarting(h, "in1")[0], "in1 t2 single 7");
}

TEST_F(FixtureHost, CustomOutputIsUnwrittenEmptyOrBytesPerEvaluation) {
  EXPECT_EQ(h.customOutput(kRecord).state, OutputState::Unwritten);

  evaluateMode(0);
  EXPECT_EQ(h.customOutput(kRecord).state, OutputState::Data);
  EXPECT_EQ(h.customOutput(kRecord).bytes, iota40(0));

  // Another port id changes nothing.
  EXPECT_EQ(h.evaluate(999), XSI::CStatus::OK);
  EXPECT_EQ(h.customOutput(kRecord).bytes, iota40(0));
  EXPECT_EQ(h.customOutput(999).state, OutputState::Unwritten);

  evaluateMode(1);
  EXPECT_EQ(h.customOutput(kRecord).state, OutputState::Empty);
  EXPECT_TRUE(h.customOutput(kRecord).bytes.empty());

  evaluateMode(7);
  EXPECT_EQ(h.customOutput(kRecord).state, OutputState::Data);
  EXPECT_EQ(h.customOutput(kRecord).bytes, iota40(100));

  evaluateMode(2);  // acquired and released without writing: the earlier bytes are gone
  EXPECT_EQ(h.customOutput(kRecord).state, OutputState::Unwritten);
  EXPECT_TRUE(h.customOutput(kRecord).bytes.empty());
  EXPECT_EQ(h.unreleasedArrays(), 0u);
}

TEST_F(FixtureHost, StringOutputHoldsTheAboutText) {
  EXPECT_FALSE(h.stringOutput(kAbout).acquired);
  evaluateMode(0);
  ASSERT_EQ(h.evaluate(kAbout), XSI::CStatus::OK);
  const auto& out = h.stringOutput(kAbout);
  EXPECT_TRUE(out.acquired);
  ASSERT_EQ(out.subArrays.size(), 1u);
  ASSERT_EQ(out.subArrays[0].size(), std::string("Fixture about text").size());
  EXPECT_EQ(out.subArrays[0][0], L"Fixture about text");
  EXPECT_EQ(h.stringOutputText(kAbout), "Fixture about text");
  EXPECT_EQ(h.customOutput(kRecord).bytes, iota40(0));  // the other port keeps its value
  EXPECT_EQ(h.stringOutputText(kRecord), "");
}

TEST_F(FixtureHost, KeepsLogLinesWithTheirSeverities) {
  evaluateMode(8);
  EXPECT_EQ(h.log(),
            (std::vector<LogLine>{
                {2, "error line"}, {4, "warning line"}, {8, "info line"}, {16, "verbose line"}}));
  h.clearLog();
  EXPECT_TRUE(h.log().empty());
}

TEST_F(FixtureHost, CountsArraysLeftAcquiredByACallback) {
  evaluateMode(3);
  EXPECT_EQ(h.unreleasedArrays(), 1u);
  evaluateMode(0);
  EXPECT_EQ(h.unreleasedArrays(), 0u);
  EXPECT_EQ(h.unreleasedArraysTotal(), 1u);
}

TEST_F(FixtureHost, MisusedSdkCallsFailWithoutDataAndAreRecorded) {
  evaluateMode(5);
  EXPECT_EQ(linesStarting(h, "wrong type"),
            std::vector<std::string>{"wrong type ok=0 handle=0 get ok=0 data=0 count=0"});
  EXPECT_EQ(linesStarting(h, "release twice"),
            std::vector<std::string>{"release twice ok=0 made-up handle ok=0"});
  EXPECT_EQ(linesStarting(h, "element 1"),
            std::vector<std::string>{"element 1 null=1 set null ok=0 unknown port ok=0"});
  const auto& errors = h.sdkErrors();
  EXPECT_EQ(errors.size(), 7u);
  EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [](const std::string& e) {
    return e.find("port 0 is 3-vector (16), requested long (2)") != std::string::npos;
  }));
  EXPECT_EQ(h.unreleasedArrays(), 0u);
  EXPECT_TRUE(h.escapedExceptions().empty());
}

TEST_F(FixtureHost, RecordsFailedAssertsAndEscapedExceptionsOfCallbacks) {
  evaluateMode(6);
  ASSERT_EQ(h.failedAsserts().size(), 1u);
  EXPECT_EQ(h.failedAsserts()[0].message, "fixture assert");
  EXPECT_EQ(h.failedAsserts()[0].code, XSI::CStatus::Fail);

  evaluateMode(0);
  EXPECT_EQ(evaluateMode(4), XSI::CStatus::Unexpected);
  EXPECT_EQ(h.escapedExceptions(),
            std::vector<std::string>{"TSL_Fixture_Evaluate threw: fixture failure"});
  EXPECT_EQ(h.customOutput(kRecord).state, OutputState::Unwritten);
}

TEST_F(FixtureHost, UnloadCallsXsiUnloadPluginThenClosesTheLibrary) {
  EXPECT_EQ(h.unload(), XSI::CStatus::OK);
  EXPECT_FALSE(h.loaded());
  ASSERT_GE(h.log().size(), 2u);
  // The module's static destructor logs during dlclose, so it comes second.
  EXPECT_EQ(h.log()[h.log().size() - 2], (LogLine{16, "TSL Fixture Plugin has been unloaded."}));
  EXPECT_EQ(h.log().back(), (LogLine{16, "fixture module destroyed"}));
  EXPECT_FALSE(stillMapped(TSL_FIXTURE_PLUGIN));

  const auto lines = h.log().size();
  EXPECT_EQ(h.unload(), XSI::CStatus::OK);
  EXPECT_EQ(h.log().size(), lines);
  EXPECT_THROW(h.evaluate(kRecord), host::UsageError);
  EXPECT_EQ(h.node().name, "TSL_Fixture");  // the definition outlives the library
}

TEST(HostLifetime, DestructorUnloadsAndHostsKeepSeparateLogs) {
  {
    Host a(TSL_FIXTURE_PLUGIN);
    Host b(TSL_FIXTURE_PLUGIN);
    a.connectLong(kMode, 8);
    a.evaluate(kRecord);
    EXPECT_EQ(a.log().size(), 4u);
    EXPECT_TRUE(b.log().empty());
    Host moved(std::move(b));
    EXPECT_TRUE(moved.loaded());
  }
  EXPECT_FALSE(stillMapped(TSL_FIXTURE_PLUGIN));
}

TEST(HostLifetime, HostsOnSeveralThreadsAtOnceKeepTheirOwnSessions) {
  constexpr int kThreads = 4, kRuns = 200;
  std::vector<std::size_t> lines(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &lines] {
      Host h(TSL_FIXTURE_PLUGIN);
      h.connectLong(kMode, 8);
      for (int i = 0; i < kRuns; ++i) h.evaluate(kRecord);
      lines[t] = h.log().size();
    });
  }
  for (std::thread& t : threads) t.join();
  for (std::size_t n : lines) EXPECT_EQ(n, 4u * kRuns);
  EXPECT_FALSE(stillMapped(TSL_FIXTURE_PLUGIN));
}

TEST(HostLoading, ReportsFilesThatAreNotPluginsWithTheLoaderText) {
  try {
    Host h("/nonexistent/TSL_Missing.so");
    FAIL() << "loaded a missing file";
  } catch (const host::LoadError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/TSL_Missing.so"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
  }

  try {
    Host h(TSL_NOT_A_PLUGIN);
    FAIL() << "loaded a library without XSILoadPlugin";
  } catch (const host::LoadError& e) {
    EXPECT_NE(std::string(e.what()).find("undefined symbol: XSILoadPlugin"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(stillMapped(TSL_NOT_A_PLUGIN));

  const auto text = std::filesystem::temp_directory_path() / "tsl_host_not_elf.so";
  std::ofstream(text) << "not a shared library\n";
  try {
    Host h(text.string());
    FAIL() << "loaded a text file";
  } catch (const host::LoadError& e) {
    EXPECT_NE(std::string(e.what()).find(text.string()), std::string::npos) << e.what();
  }
  std::filesystem::remove(text);
}

TEST(BrokenPlugin, RegistrationMistakesAreRecordedAndNothingEscapes) {
  Host h(TSL_BROKEN_PLUGIN);
  EXPECT_EQ(h.loadStatus(), XSI::CStatus::Unexpected);
  EXPECT_EQ(h.escapedExceptions(), std::vector<std::string>{"XSILoadPlugin threw: load failure"});

  std::vector<std::string> messages;
  for (const auto& a : h.failedAsserts()) messages.push_back(a.message);
  EXPECT_EQ(messages, (std::vector<std::string>{"second port 0", "group 555", "undeclared type",
                                                "categories of a refused item"}));
  EXPECT_EQ(h.failedAsserts()[0].code, XSI::CStatus::InvalidArgument);
  EXPECT_EQ(h.failedAsserts()[3].code, XSI::CStatus::Fail);
  EXPECT_EQ(h.sdkErrors().size(), 2u);  // refused registration, invalid item

  // Refused calls still record what was passed.
  const auto& n = h.node();
  ASSERT_EQ(n.inputs.size(), 3u);
  EXPECT_EQ(n.inputs[1].name, "A again");
  EXPECT_EQ(n.inputs[2].groupId, 555u);
  EXPECT_EQ(n.outputs[0].customTypes, std::vector<std::string>{"Undeclared"});
  EXPECT_EQ(n.categories, std::vector<std::string>{"Broken"});
  EXPECT_FALSE(h.plugin().version.has_value());

  const auto cb = h.callbacks();
  EXPECT_FALSE(cb.init);
  EXPECT_TRUE(cb.term);
  EXPECT_FALSE(cb.beginEvaluate);
  EXPECT_TRUE(cb.evaluate);
  EXPECT_EQ(h.term(), XSI::CStatus::Unexpected);
  EXPECT_EQ(h.evaluate(200), XSI::CStatus::Unexpected);
  EXPECT_EQ(h.escapedExceptions().size(), 3u);
  EXPECT_EQ(h.escapedExceptions()[1],
            "TSL_Broken_Term threw an exception not derived from std::exception");
  EXPECT_EQ(h.escapedExceptions()[2], "TSL_Broken_Evaluate threw: evaluate failure");

  EXPECT_EQ(h.unload(), XSI::CStatus::OK);  // no XSIUnloadPlugin: nothing to call, no line
  EXPECT_TRUE(h.log().empty());
}

}  // namespace
