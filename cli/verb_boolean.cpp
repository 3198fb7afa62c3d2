// tessellon boolean A B --op OP [--classify edge|normal] [--triangulate] [--canonicalize]
//                   [--move-b X,Y,Z] [--rotate-b RX,RY,RZ] [--scale-b S] [-o OUT] [--json]
#include <map>
#include <memory>

#include "boolean/ports.h"
#include "cli/input_mesh.h"
#include "cli/node_run.h"
#include "cli/placement.h"
#include "cli/verbs.h"

namespace cli {
namespace {

const std::map<std::string, std::int32_t> kOps{{"union", 0},
                                               {"intersection", 1},
                                               {"a-minus-b", 2},
                                               {"b-minus-a", 3},
                                               {"symmetric-difference", 4}};

}  // namespace

Verb addBoolean(CLI::App& app) {
  struct Options {
    std::string a, b, op, classify = "edge";
    bool triangulate = false, canonicalize = false;
    Placement placeB;
    RunOptions run;
  };
  auto o = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("boolean", "Union, intersection or difference of two solids.");
  cmd->footer(
      wrap("Runs TSL_ICE_Boolean. Face identifiers and UVs of both meshes follow their "
           "faces. When the engine cannot take an operand (open, wound inwards, ...) "
           "the node passes A through unchanged: the outcome is \"pass-through\", the "
           "reason names the operand and the problem, and the exit status is 3.",
           80));
  cmd->add_option("A", o->a, wrap("First solid: a closed mesh file (.obj, .off, .ply, .stl)."))
      ->required();
  cmd->add_option("B", o->b, wrap("Second solid, placed by --move-b, --rotate-b, --scale-b."))
      ->required();
  once(cmd->add_option("--op", o->op,
                       wrap("The operation: union, intersection, a-minus-b, b-minus-a or "
                            "symmetric-difference. Required."))
           ->required()
           ->check(CLI::IsMember(kOps)));
  once(cmd->add_option("--classify", o->classify,
                       wrap("How the pieces of the surfaces are sorted in or out: edge (by the "
                            "order of faces around the intersection curve, the rest by a "
                            "point-in-solid test) or normal (every piece by a point-in-solid "
                            "test). Both give the same result on valid input. Default: edge."))
           ->check(CLI::IsMember({"edge", "normal"})));
  cmd->add_flag("--triangulate", o->triangulate,
                wrap("Split every result face of more than three corners into triangles. "
                     "Default: faces stay polygons."));
  cmd->add_flag("--canonicalize", o->canonicalize,
                wrap("Put the result in a canonical order (points sorted by x, y, z; each face "
                     "starting at its lowest point; faces sorted), so equal results give equal "
                     "files. Default: the engine's order."));
  addTriple(*cmd, "--move-b", o->placeB.move,
            wrap("Move B by X,Y,Z (in B's units) after turning and scaling it. Default: 0,0,0."));
  addTriple(*cmd, "--rotate-b", o->placeB.rotateDegrees,
            wrap("Turn B about its origin by RX, RY and RZ degrees about x, then y, then z "
                 "(right-handed). Default: 0,0,0."))
      ->type_name("RX,RY,RZ");
  numberOnce(
      cmd->add_option("--scale-b", o->placeB.scale,
                      wrap("Scale B uniformly about its origin by S, greater than 0 (a negative "
                           "scale would turn B inside out). Default: 1.")),
      "S", greaterThanZero());
  addRunOptions(*cmd, o->run);

  return {cmd, [o](VerbIo& io) {
            RunOutputs outputs(o->run);
            NameTable names(o->run.innerName);
            const bool uv = o->run.missingUv == "box";
            const HostArrays a = io.hostMesh(o->a, names, uv);
            HostArrays b;
            if (o->placeB.isIdentity()) {
              b = io.hostMesh(o->b, names, uv);
            } else {
              // Placed in double before the one rounding to float, as read.
              InputMesh bIn = io.mesh(o->b, names, uv);
              for (auto& p : bIn.file.points) p = o->placeB.apply(p);
              b = toHostArrays(bIn);
            }

            host::Host h(io.plugin("TSL_ICE_Boolean"));
            namespace port = tsl::boolean::port;
            connectMesh(h, a, port::kAPoints, port::kADescription, port::kAUvw, port::kAFaceId);
            connectMesh(h, b, port::kBPoints, port::kBDescription, port::kBUvw, port::kBFaceId);
            h.connectLong(port::kFunction, kOps.at(o->op));
            h.connectLong(port::kClassification, o->classify == "edge" ? 1 : 0);
            h.connectBool(port::kTriangulate, o->triangulate);
            h.connectBool(port::kCanonicalize, o->canonicalize);
            h.init();
            const int status = runNode(io, h, NodeRun(port::kOutput), o->run, outputs, names);
            h.term();
            return status;
          }};
}

}  // namespace cli
