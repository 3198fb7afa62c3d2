// tessellon combine MESH [--filter-id N] [-o OUT] [--json] [--quiet]
#include <limits>
#include <memory>
#include <optional>

#include "cli/node_run.h"
#include "cli/verbs.h"

namespace cli {

Verb addCombine(CLI::App& app) {
  struct Options {
    std::string mesh;
    std::optional<std::int32_t> filter;
    RunOptions run;
  };
  auto o = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "combine", "Label a mesh's connected pieces, or keep the faces of one identifier.");
  cmd->footer("Runs TSL_Combiner. Example: tessellon combine examples/two_boxes.obj --json");
  cmd->add_option("MESH", o->mesh,
                  wrap("Input mesh: .obj (n-gons, UVs, materials or groups as face identifiers), "
                       ".off, .ply or .stl."))
      ->required();
  once(cmd->add_option("--filter-id", o->filter,
                       wrap("Publish only the faces whose identifier is N (OBJ material, or group "
                            "when there are no materials, counted from 0), re-indexed as one "
                            "piece. A 32-bit integer. Default: every face."))
           ->type_name("N"));
  addRunOptions(*cmd, o->run);
  return {cmd, [o] {
            OutputFile output(o->run.output);
            const HostArrays mesh = toHostArrays(geom::readMeshFile(o->mesh));
            host::Host h(locatePlugin("TSL_Combiner"));
            h.connectVector3Array(0, mesh.points);
            h.connectLongArray(1, mesh.description);
            if (!mesh.uvw.empty()) h.connectVector3Array(2, mesh.uvw);
            if (!mesh.faceIds.empty()) h.connectLongArray(3, mesh.faceIds);
            if (o->filter) h.connectLong(5, *o->filter);
            h.init();
            return runNode(h, NodeRun(202), o->run, output);
          }};
}

}  // namespace cli
