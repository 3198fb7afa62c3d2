// TSL_ICE_Boolean under the fuzzer: two small meshes, mostly solids on a half-unit grid so that
// they touch, share vertices and overlap in common planes, and every option port.
#include "fuzz_support.h"

namespace {

using namespace tsl::fuzz;

const char* kPassThrough =
    "ICE BOOLEAN: Boolean core is corrupted , A input data is passed to out. Grow up size and "
    "after resize back or check Geo for self-intersections";

std::string run(Source& s) {
  host::Host& h = freshRun("TSL_ICE_Boolean");
  const HostMesh a = solid(s);
  const HostMesh b = solid(s);
  connectVector3(s, h, 0, a.points);
  connectLong(s, h, 1, a.description);
  connectVector3(s, h, 3, b.points);
  connectLong(s, h, 4, b.description);
  bool tameUvw = maybeUvw(s, h, 2, cornerCount(a));
  tameUvw = maybeUvw(s, h, 5, cornerCount(b)) && tameUvw;
  maybeIds(s, h, 9, faceCount(a.description));
  maybeIds(s, h, 10, faceCount(b.description));
  if (!s.oneIn(4)) connectLong(s, h, 6, {static_cast<std::int32_t>(s.pick(-1, 5))});
  if (!s.oneIn(4)) connectLong(s, h, 7, {static_cast<std::int32_t>(s.pick(-1, 2))});
  if (!s.oneIn(3)) connectBool(s, h, 8, {static_cast<std::uint8_t>(s.pick(0, 3))});
  if (!s.oneIn(3)) connectBool(s, h, 11, {static_cast<std::uint8_t>(s.oneIn(4))});

  switch (s.pick(0, 5)) {
    case 4:
      h.init();
      break;
    case 5:
      h.term();
      break;
    default:
      break;
  }
  h.beginEvaluate();
  if (s.oneIn(8)) {
    h.evaluate(202);  // the About text
    if (h.stringOutputText(202).rfind("ICE Boolean plugin v1.4.", 0) != 0) fail("About text");
  }
  h.evaluate(201);

  Promise p;
  p.mayLeaveUnwritten = true;  // memory exhaustion while writing the result
  p.passThroughWarning = kPassThrough;
  checkEvaluation(h, 201, p);
  if (tameUvw) checkUvwFinite(h, 201, kPassThrough);
  return signature(h, 201);
}

}  // namespace

TSL_FUZZ_TARGET(run)
