// tessellon combine MESH [--filter-id N] [-o OUT] [--json]
#include <limits>

#include "cli/args.h"
#include "cli/node_run.h"
#include "cli/verbs.h"

namespace cli {

int runCombine(const std::vector<std::string>& argv) {
  const Args args("combine", argv, {{"--filter-id", "-o"}, {"--json"}});
  args.expectPositionals(1, "MESH");
  const auto filter = args.integer("--filter-id");
  if (filter && (*filter < std::numeric_limits<std::int32_t>::min() ||
                 *filter > std::numeric_limits<std::int32_t>::max())) {
    throw UsageError("tessellon combine: --filter-id is out of the 32-bit range");
  }
  const HostArrays mesh = toHostArrays(geom::readMeshFile(args.positionals()[0]));

  host::Host h(locatePlugin("TSL_Combiner"));
  h.connectVector3Array(0, mesh.points);
  h.connectLongArray(1, mesh.description);
  if (!mesh.uvw.empty()) h.connectVector3Array(2, mesh.uvw);
  if (!mesh.faceIds.empty()) h.connectLongArray(3, mesh.faceIds);
  if (filter) h.connectLong(5, static_cast<std::int32_t>(*filter));
  h.init();
  h.beginEvaluate();
  h.evaluate(202);
  return report(h, 202, args);
}

}  // namespace cli
