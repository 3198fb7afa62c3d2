// TSL_Continuous under the fuzzer: mesh A, knife descriptors of every length (closed knives,
// broken ones, arbitrary integers), any number of knife points, UVW of A and of the knife.
#include "fuzz_support.h"

namespace {

using namespace tsl::fuzz;
using tsl::test::Knife;

// The knife topology, and the points of one instance of its shape.
Knife knife(Source& s) {
  Knife k;
  switch (s.pick(0, 4)) {
    case 0:
      k = tsl::test::tetrahedron(1.0f);
      break;
    case 1:
      k = tsl::test::octahedron(1.0f);
      break;
    case 2: {  // wound inwards
      k = tsl::test::tetrahedron(1.0f);
      const HostMesh in = tsl::test::inverted({k.points, k.descriptor});
      k.descriptor = in.description;
      break;
    }
    case 3: {  // triangles of arbitrary corners, separators where they belong
      const std::size_t t = s.count(8);
      for (std::size_t j = 0; j < t; ++j) {
        for (int c = 0; c < 3; ++c)
          k.descriptor.push_back(static_cast<std::int32_t>(s.pick(-1, 6)));
        k.descriptor.push_back(s.oneIn(8) ? static_cast<std::int32_t>(s.pick(-3, 3)) : -2);
      }
      k.points.resize(t / 2 + 2);
      for (auto& p : k.points) p = gridPoint(s);
      break;
    }
    default: {  // any length, any entries
      k.descriptor.resize(s.count(40));
      for (auto& v : k.descriptor) v = descriptionEntry(s, 6);
      k.points.resize(k.descriptor.size() / 8 + 2);
      for (auto& p : k.points) p = gridPoint(s);
      break;
    }
  }
  return k;
}

std::string run(Source& s) {
  host::Host& h = freshRun("TSL_Continuous");
  const HostMesh a = solid(s);
  connectVector3(s, h, 0, a.points);
  connectLong(s, h, 1, a.description);
  bool tameUvw = maybeUvw(s, h, 2, cornerCount(a));
  maybeIds(s, h, 3, faceCount(a.description));

  const Knife shape = knife(s);
  Knife all;
  const std::size_t instances = s.count(3);
  for (std::size_t i = 0; i < instances; ++i) {
    const float scale = 0.25f * float(s.pick(1, 6));
    std::vector<Float3> pts = shape.points;
    for (Float3& p : pts) p = {p.x * scale, p.y * scale, p.z * scale};
    all.addInstance(pts, gridPoint(s));
  }
  // A point out of place, or a few extra beyond the last whole instance.
  if (!all.points.empty() && s.oneIn(6)) {
    all.points[static_cast<std::size_t>(s.pick(0, std::int64_t(all.points.size()) - 1))] = point(s);
  }
  for (std::size_t extra = s.oneIn(4) ? s.count(3) : 0; extra > 0; --extra)
    all.points.push_back(gridPoint(s));
  connectVector3(s, h, 4, all.points);
  connectLong(s, h, 5, shape.descriptor);
  if (!s.oneIn(3)) {
    const std::size_t fit = 3 * (shape.descriptor.size() / 4);
    const std::vector<Float3> knifeUvw = vectors(s, lengthAround(s, fit, 48));
    tameUvw = tameUvw && tame(knifeUvw);
    connectVector3(s, h, 6, knifeUvw);
  }
  h.beginEvaluate();
  if (s.oneIn(16)) evaluateOtherPort(s, h, 200);
  h.evaluate(200);

  Promise p;
  p.mayLeaveUnwritten = true;  // the knife descriptor gates
  checkEvaluation(h, 200, p);
  if (tameUvw) checkUvwFinite(h, 200);
  return signature(h, 200);
}

}  // namespace

TSL_FUZZ_TARGET(run)
