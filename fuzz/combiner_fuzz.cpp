// TSL_Combiner under the fuzzer: points, description, UVW, identifiers and the filter, each
// wired in any of the shapes a graph can give a port.
#include "fuzz_support.h"

namespace {

using namespace tsl::fuzz;

std::string run(Source& s) {
  host::Host& h = freshRun("TSL_Combiner");
  HostMesh m = s.oneIn(3) ? solid(s) : garbageMesh(s, 48, 192);
  connectVector3(s, h, 0, m.points);
  connectLong(s, h, 1, m.description);
  maybeUvw(s, h, 2, cornerCount(m));
  maybeIds(s, h, 3, faceCount(m.description));
  if (!s.oneIn(3)) {
    // Filters that match some faces, none, or come as arrays of any length.
    std::vector<std::int32_t> filter = identifiers(s, s.oneIn(4) ? s.count(3) : 1);
    connectLong(s, h, 5, filter);
  }
  if (s.oneIn(4)) h.init();
  h.beginEvaluate();
  if (s.oneIn(16)) evaluateOtherPort(s, h, 202);
  h.evaluate(202);

  Promise p;
  p.rules.faceInfoRequired = true;
  p.rules.uvwPerCorner = false;  // the unfiltered record hands the input UVW on as it came
  p.countsMatchRecord = false;   // the counts describe the input mesh
  checkEvaluation(h, 202, p);
  return signature(h, 202);
}

}  // namespace

TSL_FUZZ_TARGET(run)
