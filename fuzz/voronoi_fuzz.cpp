// TSL_Voronoi under the fuzzer: a mesh and centres, among them NaN, infinite, duplicate, huge,
// outside and co-spherical ones, with the thickness and UV scale ports.
#include "fuzz_support.h"

namespace {

using namespace tsl::fuzz;

std::vector<Float3> centres(Source& s) {
  std::vector<Float3> c;
  const std::size_t groups = s.count(6);
  for (std::size_t g = 0; g < groups; ++g) {
    switch (s.pick(0, 7)) {
      case 0:
        c.push_back(gridPoint(s));
        break;
      case 1:  // off the grid, anywhere
        c.push_back(point(s));
        break;
      case 2:  // the same centre again
        c.push_back(c.empty() ? Float3{}
                              : c[static_cast<std::size_t>(s.pick(0, std::int64_t(c.size()) - 1))]);
        break;
      case 3: {  // the eight corners of a cube: all on one sphere around its middle
        const Float3 m = gridPoint(s);
        const float r = 0.25f * float(s.pick(1, 4));
        for (int k = 0; k < 8; ++k) {
          c.push_back({m.x + (k & 1 ? r : -r), m.y + (k & 2 ? r : -r), m.z + (k & 4 ? r : -r)});
        }
        break;
      }
      case 4: {  // the six vertices of an octahedron: co-spherical, and symmetric planes
        const Float3 m = gridPoint(s);
        const float r = 0.25f * float(s.pick(1, 4));
        for (int k = 0; k < 6; ++k) {
          Float3 p = m;
          (k / 2 == 0 ? p.x : k / 2 == 1 ? p.y : p.z) += (k % 2 ? -r : r);
          c.push_back(p);
        }
        break;
      }
      case 5: {  // nearly the same centre: closer than the jitter can separate
        Float3 p = gridPoint(s);
        c.push_back(p);
        p.x = std::nextafter(p.x, kInf);
        c.push_back(p);
        break;
      }
      case 6: {
        constexpr float bad[] = {kNaN, kInf, -kInf, 1e30f, -3e38f, 1e19f};
        Float3 p = gridPoint(s);
        (s.oneIn(2) ? p.x : p.z) = bad[s.pick(0, 5)];
        c.push_back(p);
        break;
      }
      default:
        c.push_back({0.5f * float(s.pick(-8, 8)), 0.5f * float(s.pick(-8, 8)),
                     0.5f * float(s.pick(-8, 8))});
        break;
    }
  }
  return c;
}

float scalar(Source& s) {
  constexpr float special[] = {0.001f, 0.1f, 0.5f, 0.9999f, 0.0f,  -1.0f, 1.0f,
                               2.0f,   kNaN, kInf, -kInf,   1e30f, 5e-5f};
  return s.oneIn(4) ? coordinate(s) : special[s.pick(0, 12)];
}

std::string run(Source& s) {
  host::Host& h = freshRun("TSL_Voronoi");
  const HostMesh m = solid(s);
  connectVector3(s, h, 0, m.points);
  connectLong(s, h, 1, m.description);
  connectVector3(s, h, 3, centres(s));
  bool tameUvw = maybeUvw(s, h, 2, cornerCount(m));
  maybeIds(s, h, 6, faceCount(m.description));
  if (!s.oneIn(3)) connectFloat(s, h, 4, {scalar(s)});
  if (!s.oneIn(3)) {
    const float scale = scalar(s);
    tameUvw = tameUvw && tame(scale);
    connectFloat(s, h, 7, {scale});
  }
  h.beginEvaluate();
  if (s.oneIn(16)) evaluateOtherPort(s, h, 200);
  h.evaluate(200);
  checkEvaluation(h, 200, Promise{});
  if (tameUvw) checkUvwFinite(h, 200);
  return signature(h, 200);
}

}  // namespace

TSL_FUZZ_TARGET(run)
