// The cells linked into a shared library the way the plug-in links them (static Voro++,
// --exclude-libs,ALL, no undefined symbols). This file is both the probe module
// (TSL_VORONOI_PROBE_MODULE) and the test that loads it.
#ifdef TSL_VORONOI_PROBE_MODULE

#include <cmath>
#include <vector>

#include "voronoi/voronoi_cells.h"

using namespace tsl::voronoi;

// Cells of one centre: 1 when the module works at all.
extern "C" __attribute__((visibility("default"))) int tsl_voronoi_probe_cells() {
  return int(voronoi_cells(std::vector<tsl::Float3>{{0, 0, 0}}, 0.001f, {{0, 0, 0}, {1, 1, 1}})
                 .cellIds.size());
}

// 1 when a Voro++ fatal error (5000 planes through one vertex) arrives as VoroError.
extern "C" __attribute__((visibility("default"))) int tsl_voronoi_probe_fatal() {
  std::vector<Site> s{{0, {-2.5, -2.5, -2.5}}};
  for (int i = 0; i < 5000; ++i) {
    const double a = 2 * M_PI * i / 5000;
    s.push_back({i + 1, {-2.5 + 0.4 * std::cos(a), -2.5 + 0.4 * std::sin(a), -2.1}});
  }
  try {
    cellsOfSites(s, 0.9999f, containerBox({{0, 0, 0}, {3, 3, 3}}));
  } catch (const VoroError&) {
    return 1;
  }
  return 0;
}

#else

#include <dlfcn.h>
#include <gtest/gtest.h>

TEST(VoronoiModule, LinksIntoASharedLibraryWithVoroHiddenAndThrowing) {
  void* h = dlopen(TSL_VORONOI_PROBE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  auto cells = reinterpret_cast<int (*)()>(dlsym(h, "tsl_voronoi_probe_cells"));
  auto fatal = reinterpret_cast<int (*)()>(dlsym(h, "tsl_voronoi_probe_fatal"));
  ASSERT_TRUE(cells && fatal);
  EXPECT_EQ(cells(), 1);
  EXPECT_EQ(fatal(), 1);  // the library's own handler would exit() the test run here
  EXPECT_EQ(cells(), 1);
  for (const char* name : {"_ZN4voro16voro_fatal_errorEPKci", "_ZN4voro9container3putEiddd"}) {
    EXPECT_EQ(dlsym(h, name), nullptr) << name << " is visible outside the module";
  }
  EXPECT_EQ(dlclose(h), 0);
}

#endif
