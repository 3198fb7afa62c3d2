// tessellon continuous MESH --knife KNIFE (--instances FILE | --knife-points FILE |
//                      --scatter N [--seed S] [--impact X,Y,Z[,R]]... [--knife-scale MIN,MAX])
//                      [-o OUT] [--json] [--quiet]
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/input_mesh.h"
#include "cli/knife.h"
#include "cli/knife_scatter.h"
#include "cli/node_run.h"
#include "cli/number_rows.h"
#include "cli/placement.h"
#include "cli/verbs.h"
#include "continuous/ports.h"
#include "geom/error.h"

namespace cli {
namespace {

std::vector<std::vector<double>> readNumberLines(VerbIo& io, const std::string& path,
                                                 bool allowSeven) {
  std::vector<std::vector<double>> rows;
  forEachNumberRow<double>(*io.text(path), path, "numbers", [&](int n, std::vector<double>& row) {
    if (row.size() != 3 && !(allowSeven && row.size() == 7)) {
      throw geom::Error(atLine(path, n) +
                        (allowSeven ? " needs 3 numbers (x y z) or 7 (x y z rx ry rz scale)"
                                    : " needs 3 numbers (x y z)"));
    }
    if (row.size() == 7 && !(row[6] > 0)) {
      throw geom::Error(atLine(path, n) + " has a scale of " + std::to_string(row[6]) +
                        "; it must be greater than 0");
    }
    for (double x : row) {
      if (!std::isfinite(x)) throw geom::Error(atLine(path, n) + " is not finite");
    }
    rows.push_back(std::move(row));
  });
  return rows;
}

Placement placementOf(const std::vector<double>& row) {
  Placement p;
  p.move = {row[0], row[1], row[2]};
  if (row.size() == 7) {
    p.rotateDegrees = {row[3], row[4], row[5]};
    p.scale = row[6];
  }
  return p;
}

host::Vec3f toFloat(const geom::Vec3& p) {
  return {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
}

}  // namespace

Verb addContinuous(CLI::App& app) {
  struct Options {
    std::string mesh, knife, instances, knifePoints;
    std::optional<std::int64_t> scatter;
    std::uint64_t seed = 1;
    std::vector<Impact> impacts;
    std::array<double, 2> knifeScale{1.0, 1.0};
    RunOptions run;
  };
  auto o = std::make_shared<Options>();
  CLI::App* cmd =
      app.add_subcommand("continuous", "Carve a closed mesh with a series of knife solids.");
  cmd->footer(
      wrap("Runs TSL_Continuous: every placed knife is cut out of the mesh, which may "
           "fall apart into pieces. The walls the knives make get the knife's UVs (zeros "
           "when the knife has none; the mesh keeps its own UVs either way) and "
           "identifier -2. Example: tessellon continuous examples/two_boxes.obj --knife "
           "examples/octahedron_knife.obj --instances examples/knife_instances.txt "
           "-o carved.obj",
           80));
  cmd->add_option("MESH", o->mesh, wrap("The closed mesh to carve (.obj, .off, .ply, .stl)."))
      ->required();
  once(cmd->add_option("--knife", o->knife,
                       wrap("The knife: one closed, outward solid with the topology of a sphere "
                            "(no holes through it), any mesh format; faces of more than three "
                            "corners are split into triangles, its UVs become the cut walls' "
                            "UVs. Required."))
           ->type_name("KNIFE")
           ->required());
  auto* instances =
      once(cmd->add_option(
                  "--instances", o->instances,
                  wrap("File of knife placements, one a line: 'x y z' (a move) or "
                       "'x y z rx ry rz s' (scale s > 0 about the knife's origin, turn "
                       "rx, ry, rz degrees about x, y, z, then move). # starts a "
                       "comment. One of --instances, --knife-points and --scatter is required."))
               ->type_name("FILE"));
  auto* points =
      once(cmd->add_option("--knife-points", o->knifePoints,
                           wrap("File of the points of every knife instance, 'x y z' a line, "
                                "instance after instance, each as many points as the knife has "
                                "and in its order."))
               ->type_name("FILE"));
  auto* scatter =
      once(cmd->add_option("--scatter", o->scatter,
                           wrap("Place N knives at random instead: uniform in the mesh's box (or "
                                "about the --impact points), each turned at random and scaled by "
                                "--knife-scale. 1 to 100000."))
               ->type_name("N")
               ->check(CLI::Range(std::int64_t{1}, std::int64_t{100000})));
  once(cmd->add_option("--seed", o->seed,
                       wrap("Seed of --scatter: the same seed gives the same knives. Default: 1."))
           ->type_name("S"))
      ->needs(scatter);
  addImpacts(*cmd, o->impacts,
             wrap("Cluster the --scatter knives about this point: normally distributed, about "
                  "three quarters within R (default: a tenth of the mesh's box diagonal). "
                  "Repeat for several; knife k goes to impact k modulo their number."))
      ->needs(scatter);
  once(cmd->add_option_function<std::string>(
              "--knife-scale",
              [o](const std::string& text) {
                double a = 0, b = 0;
                char sep = 0, rest = 0;
                const int n = std::sscanf(text.c_str(), "%lf%c%lf%c", &a, &sep, &b, &rest);
                if (n == 1) b = a;
                if (!((n == 1) || (n == 3 && sep == ',')) || !std::isfinite(a) ||
                    !std::isfinite(b) || !(a > 0) || !(b >= a)) {
                  throw CLI::ValidationError(
                      "--knife-scale", text + " is not MIN,MAX with 0 < MIN <= MAX (or one S)");
                }
                o->knifeScale = {a, b};
              },
              wrap("Scale of each --scatter knife, uniform from MIN to MAX about the knife's "
                   "origin. Default: 1,1."))
           ->type_name("MIN,MAX"))
      ->needs(scatter);
  instances->excludes(points);
  instances->excludes(scatter);
  points->excludes(instances);
  points->excludes(scatter);
  addRunOptions(*cmd, o->run);

  return {cmd, [o](VerbIo& io) {
            if (int(!o->instances.empty()) + int(!o->knifePoints.empty()) + int(bool(o->scatter)) !=
                1) {
              throw UsageError("give one of --instances FILE, --knife-points FILE and --scatter N");
            }
            RunOutputs outputs(o->run);
            NameTable names(o->run.innerName);
            const InputMesh input = io.mesh(o->mesh, names, o->run.missingUv == "box");
            const HostArrays mesh = toHostArrays(input);
            const Knife knife = prepareKnife(io.meshFile(o->knife), o->knife);

            std::vector<host::Vec3f> knifePoints;
            if (o->scatter) {
              KnifeScatter sc;
              sc.count = static_cast<std::size_t>(*o->scatter);
              sc.seed = o->seed;
              sc.impacts = o->impacts;
              sc.minScale = o->knifeScale[0];
              sc.maxScale = o->knifeScale[1];
              for (const KnifePose& pose : scatterKnives(input.file, sc)) {
                for (const auto& p : knife.points) knifePoints.push_back(toFloat(pose.apply(p)));
              }
            } else if (!o->instances.empty()) {
              for (const auto& row : readNumberLines(io, o->instances, true)) {
                const Placement place = placementOf(row);
                for (const auto& p : knife.points) knifePoints.push_back(toFloat(place.apply(p)));
              }
            } else {
              for (const auto& r : readNumberLines(io, o->knifePoints, false)) {
                knifePoints.push_back(
                    {static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2])});
              }
              if (knifePoints.size() % knife.points.size() != 0) {
                throw geom::Error(o->knifePoints + ": " + std::to_string(knifePoints.size()) +
                                  " points are not a whole number of knives of " +
                                  std::to_string(knife.points.size()) + " points");
              }
            }

            host::Host h(io.plugin("TSL_Continuous"));
            namespace port = tsl::continuous::port;
            connectMesh(h, mesh, port::kPoints, port::kDescription, port::kUvw, port::kFaceId);
            h.connectVector3Array(port::kKnifePoints, knifePoints);
            h.connectLongArray(port::kKnifeDescriptor, knife.descriptor);
            h.connectVector3Array(port::kKnifeUvw, knife.uvw);
            NodeRun run(port::kOutput);
            run.extra["knives"] = knifePoints.size() / knife.points.size();
            return runNode(io, h, run, o->run, outputs, names);
          }};
}

}  // namespace cli
