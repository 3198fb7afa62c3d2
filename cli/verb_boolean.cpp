// tessellon boolean A B --op OP [--classify edge|normal] [--triangulate] [--canonicalize]
//                   [-o OUT] [--json]
// tessellon about PLUGIN
#include <iostream>
#include <map>

#include "cli/args.h"
#include "cli/node_run.h"
#include "cli/verbs.h"

namespace cli {
namespace {

void connectMesh(host::Host& h, const HostArrays& m, std::uint32_t points, std::uint32_t desc,
                 std::uint32_t uvw, std::uint32_t ids) {
  h.connectVector3Array(points, m.points);
  h.connectLongArray(desc, m.description);
  if (!m.uvw.empty()) h.connectVector3Array(uvw, m.uvw);
  if (!m.faceIds.empty()) h.connectLongArray(ids, m.faceIds);
}

}  // namespace

int runBoolean(const std::vector<std::string>& argv) {
  const Args args("boolean", argv,
                  {{"--op", "--classify", "-o"}, {"--triangulate", "--canonicalize", "--json"}});
  args.expectPositionals(2, "A and B");
  static const std::map<std::string, std::int32_t> ops{{"union", 0},
                                                       {"intersection", 1},
                                                       {"a-minus-b", 2},
                                                       {"b-minus-a", 3},
                                                       {"symmetric-difference", 4}};
  const std::string op = args.required("--op");
  const auto it = ops.find(op);
  if (it == ops.end()) {
    throw UsageError("tessellon boolean: unknown --op '" + op +
                     "' (union, intersection, a-minus-b, b-minus-a, symmetric-difference)");
  }
  const std::string classify = args.value("--classify").value_or("edge");
  if (classify != "edge" && classify != "normal") {
    throw UsageError("tessellon boolean: --classify must be edge or normal, not '" + classify +
                     "'");
  }
  const HostArrays a = toHostArrays(geom::readMeshFile(args.positionals()[0]));
  const HostArrays b = toHostArrays(geom::readMeshFile(args.positionals()[1]));

  host::Host h(locatePlugin("TSL_ICE_Boolean"));
  connectMesh(h, a, 0, 1, 2, 9);
  connectMesh(h, b, 3, 4, 5, 10);
  h.connectLong(6, it->second);
  h.connectLong(7, classify == "edge" ? 1 : 0);
  h.connectBool(8, args.flag("--triangulate"));
  h.connectBool(11, args.flag("--canonicalize"));
  h.init();
  h.beginEvaluate();
  h.evaluate(201);
  const int status = report(h, 201, args);
  h.term();
  return status;
}

int runAbout(const std::vector<std::string>& argv) {
  const Args args("about", argv, {{}, {}});
  args.expectPositionals(1, "PLUGIN");
  host::Host h(locatePlugin(args.positionals()[0]));
  const auto* about = h.node().findOutput(202);
  if (about == nullptr || about->dataType != XSI::siICENodeDataString) {
    throw UsageError(args.positionals()[0] + ": the node has no About port");
  }
  h.beginEvaluate();
  h.evaluate(202);
  std::cout << h.stringOutputText(202) << '\n';
  return 0;
}

}  // namespace cli
