// tessellon combine MESH [--filter-id N|NAME] [-o OUT] [--json] [--quiet]
#include <charconv>
#include <memory>

#include "cli/input_mesh.h"
#include "cli/node_run.h"
#include "cli/verbs.h"
#include "combiner/ports.h"

namespace cli {
namespace {

// The identifier a --filter-id value stands for: a 32-bit number as given, else the name's.
std::int32_t filterId(const std::string& value, const NameTable& names) {
  std::int32_t id = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), id);
  if (ec == std::errc() && end == value.data() + value.size()) return id;
  if (ec == std::errc::result_out_of_range)
    throw UsageError("--filter-id: " + value + " is not a 32-bit identifier");
  for (const auto& [known, name] : names.entries()) {
    if (name == value) return known;
  }
  std::string list;
  for (const auto& [known, name] : names.entries()) list += (list.empty() ? "" : ", ") + name;
  throw UsageError("--filter-id: the mesh has no identifier named '" + value + "' (it has " + list +
                   ")");
}

}  // namespace

Verb addCombine(CLI::App& app) {
  struct Options {
    std::string mesh;
    std::string filter;
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
                       wrap("Publish only the faces of one identifier, re-indexed as one piece: "
                            "its name (an OBJ material, or group when there are no materials; "
                            "the summary lists them) or its number, a 32-bit integer. Default: "
                            "every face."))
           ->type_name("N|NAME"));
  addRunOptions(*cmd, o->run);
  return {cmd, [o](VerbIo& io) {
            RunOutputs outputs(o->run);
            NameTable names(o->run.innerName);
            const HostArrays mesh = io.hostMesh(o->mesh, names, o->run.missingUv == "box");
            host::Host h(io.plugin("TSL_Combiner"));
            namespace port = tsl::combiner::port;
            connectMesh(h, mesh, port::kPoints, port::kDescription, port::kUvw, port::kFaceId);
            if (!o->filter.empty()) h.connectLong(port::kFilter, filterId(o->filter, names));
            h.init();
            return runNode(io, h, NodeRun(port::kOutput), o->run, outputs, names);
          }};
}

}  // namespace cli
