// tessellon voronoi MESH [--count N [--near-surface D]] [--impact X,Y,Z[,R]]...
//                   [--radial X,Y,Z [--axis X,Y,Z] [--rings N] [--spokes M]] [--centers FILE]
//                   [--levels N [--level-fraction F] [--level-count N]]
//                   [--min-volume V[%] [--drop-small]] [--manifest FILE.json]
//                   [--seed S] [--thickness T] [--uv-scale S] [--explode F] [-o OUT] [--json]
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>

#include "cli/fracture.h"
#include "cli/input_mesh.h"
#include "cli/manifest.h"
#include "cli/node_run.h"
#include "cli/number_rows.h"
#include "cli/output_file.h"
#include "cli/verbs.h"
#include "geom/error.h"
#include "voronoi/ports.h"

namespace cli {
namespace {

std::vector<geom::Vec3> readCentres(VerbIo& io, const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<geom::Vec3> out;
  if (ext == ".obj" || ext == ".off" || ext == ".ply" || ext == ".stl") {
    // As the node takes them: in float.
    for (const auto& p : io.meshFile(path).points) {
      out.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
    }
    return out;
  }
  forEachNumberRow<float>(*io.text(path), path, "'x y z'", [&](int n, std::vector<float>& row) {
    if (row.size() != 3) throw geom::Error(atLine(path, n) + " is not 'x y z'");
    out.push_back({row[0], row[1], row[2]});
  });
  return out;
}

struct MinVolume {
  double value = 0;
  bool percent = false;
};

MinVolume parseMinVolume(const std::string& text) {
  MinVolume m;
  std::string s = text;
  if (!s.empty() && s.back() == '%') m.percent = true, s.pop_back();
  try {
    std::size_t used = 0;
    m.value = std::stod(s, &used);
    if (used == s.size() && std::isfinite(m.value) && m.value >= 0 &&
        (!m.percent || m.value <= 100))
      return m;
  } catch (const std::exception&) {
  }
  throw CLI::ValidationError("--min-volume",
                             text + " is not a volume V (0 or more) or a share V% (0 to 100)");
}

double meshVolume(const geom::MeshFile& file) {
  std::vector<std::array<float, 3>> pts;
  pts.reserve(file.points.size());
  for (const auto& p : file.points)
    pts.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  std::vector<std::size_t> all(file.polygons.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  return massProperties(pts, file.polygons, all).volume;
}

// Moves every piece away from the mesh centre by factor times the offset of its vertices'
// average from it.
void explode(TopoMesh& m, const std::vector<int>& pieceOfFace, std::size_t pieces, double factor) {
  if (m.points.empty()) return;
  std::vector<int> pieceOfPoint(m.points.size(), -1);
  std::size_t f = 0;
  for (std::int32_t v : m.polygons) {
    if (v == -2) {
      ++f;
      continue;
    }
    pieceOfPoint[static_cast<std::size_t>(v)] = pieceOfFace[f];
  }
  std::vector<std::array<double, 4>> sums(pieces, {0, 0, 0, 0});
  std::array<float, 3> lo = m.points[0], hi = lo;
  for (std::size_t i = 0; i < m.points.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], m.points[i][k]);
      hi[k] = std::max(hi[k], m.points[i][k]);
    }
    if (pieceOfPoint[i] < 0) continue;
    auto& s = sums[static_cast<std::size_t>(pieceOfPoint[i])];
    for (int k = 0; k < 3; ++k) s[k] += m.points[i][k];
    s[3] += 1;
  }
  for (std::size_t i = 0; i < m.points.size(); ++i) {
    if (pieceOfPoint[i] < 0) continue;
    const auto& s = sums[static_cast<std::size_t>(pieceOfPoint[i])];
    for (int k = 0; k < 3; ++k) {
      const double centre = (double{lo[k]} + double{hi[k]}) / 2;
      m.points[i][k] += static_cast<float>(factor * (s[k] / s[3] - centre));
    }
  }
}

}  // namespace

Verb addVoronoi(CLI::App& app) {
  struct Options {
    std::string mesh, centres, manifest, minVolume;
    std::optional<std::int64_t> count, levelCount;
    std::optional<double> nearSurface;
    std::vector<Impact> impacts;
    std::int64_t impactCount = 100;
    std::array<double, 3> radial{}, axis{};
    std::int64_t rings = 4, spokes = 8;
    double radialJitter = 0.25;
    std::int64_t levels = 1;
    double levelFraction = 0.25;
    bool dropSmall = false;
    std::uint32_t seed = 1;
    std::optional<float> thickness;
    float uvScale = 1.0f;
    double explode = 0.0;
    RunOptions run;
  };
  auto o = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("voronoi", "Break a closed mesh into Voronoi pieces.");
  cmd->footer(
      wrap("Runs TSL_Voronoi: one piece per Voronoi cell of the centres, every cell "
           "shrunk towards its centre so that neighbouring pieces are parted by a gap. "
           "Faces of the mesh keep their UVs and identifiers; the new inner faces get "
           "planar UVs. Centre modes combine: --count (uniform, or --near-surface), "
           "--impact (repeatable), --radial, --centers. Example: tessellon voronoi bunny.off "
           "--count 20 --impact 0,0.1,0,0.02 --levels 2 --min-volume 0.1% --manifest "
           "pieces.json -o pieces.glb --json",
           80));
  cmd->add_option("MESH", o->mesh, wrap("The closed mesh to break (.obj, .off, .ply, .stl)."))
      ->required();
  once(cmd->add_option("--centers", o->centres,
                       wrap("File of cell centres: one 'x y z' a line (# starts a comment), or "
                            "the points of a mesh file. At least one of --centers, --count, "
                            "--impact and --radial is required."))
           ->type_name("FILE"));
  auto* count =
      once(cmd->add_option("--count", o->count,
                           wrap("Scatter N centres uniformly inside the mesh; 1 to 10000000. "
                                "Pieces made can be fewer than N: centres closer than the "
                                "jitter step merge, and a cell can miss the mesh; a cell cut "
                                "by the mesh's shape into parts makes more."))
               ->type_name("N")
               ->check(CLI::Range(std::int64_t{1}, std::int64_t{10000000})));
  numberOnce(cmd->add_option("--near-surface", o->nearSurface,
                             wrap("Place the --count centres within distance D of the surface "
                                  "instead of anywhere inside: small pieces along the skin, "
                                  "large ones within.")),
             "D", greaterThanZero())
      ->needs(count);
  addImpacts(*cmd, o->impacts,
             wrap("Cluster centres about an impact point: density highest at the point, "
                  "about three quarters of them within R (default: a tenth of the mesh's box "
                  "diagonal). Repeat for several impacts."));
  numberOnce(cmd->add_option("--impact-count", o->impactCount,
                             wrap("Centres per impact, 1 to 1000000. Default: 100.")),
             "N", CLI::Range(std::int64_t{1}, std::int64_t{1000000}));
  auto* radial = addTriple(*cmd, "--radial", o->radial,
                           wrap("Broken glass about this point: the point, then --rings rings "
                                "of --spokes centres each, in the plane through it across "
                                "--axis, rings spaced wider outwards, jittered."));
  addTriple(*cmd, "--axis", o->axis,
            wrap("Axis of --radial (the pane's normal). Default: the thinnest axis of the "
                 "mesh's box."))
      ->needs(radial);
  numberOnce(
      cmd->add_option("--rings", o->rings, wrap("Rings of --radial, 1 to 1000. Default: 4.")), "N",
      CLI::Range(std::int64_t{1}, std::int64_t{1000}))
      ->needs(radial);
  numberOnce(
      cmd->add_option("--spokes", o->spokes, wrap("Spokes of --radial, 1 to 1000. Default: 8.")),
      "M", CLI::Range(std::int64_t{1}, std::int64_t{1000}))
      ->needs(radial);
  numberOnce(cmd->add_option("--radial-jitter", o->radialJitter,
                             wrap("How far each --radial centre strays, as a fraction of its "
                                  "ring's step and of a spoke's angle; 0 to 1. Default: 0.25.")),
             "J", CLI::Range(0.0, 1.0))
      ->needs(radial);
  numberOnce(cmd->add_option("--levels", o->levels,
                             wrap("Break pieces again: at each level after the first, the "
                                  "largest --level-fraction of the last level's pieces are "
                                  "broken by the node again, each with centres placed the same "
                                  "way inside it (impacts, radial and file centres keep their "
                                  "places; --level-count uniform centres per piece). Names show "
                                  "the tree: piece_12_3 is a piece of piece_12. 1 to 8. "
                                  "Default: 1.")),
             "N", CLI::Range(std::int64_t{1}, std::int64_t{8}));
  numberOnce(cmd->add_option("--level-fraction", o->levelFraction,
                             wrap("Share of a level's pieces, the largest by volume, broken "
                                  "at the next level; above 0, at most 1. Default: 0.25.")),
             "F", CLI::Range(1e-9, 1.0));
  numberOnce(cmd->add_option("--level-count", o->levelCount,
                             wrap("Uniform centres in each piece broken again; 0 to 1000000. "
                                  "Default: 8.")),
             "N", CLI::Range(std::int64_t{0}, std::int64_t{1000000}));
  auto* minVolume =
      once(cmd->add_option("--min-volume", o->minVolume,
                           wrap("Pieces below this volume (V in scene units cubed, or V% of the "
                                "mesh's volume) are merged into the neighbour they share the "
                                "largest bond with, so no volume is lost (a piece with no "
                                "neighbour goes to a piece of its own cell, else the nearest). "
                                "Default: none."))
               ->type_name("V[%]")
               ->check(CLI::Validator(
                   [](std::string& t) -> std::string {
                     try {
                       parseMinVolume(t);
                     } catch (const CLI::ValidationError& e) {
                       return t + " is not a volume V (0 or more) or a share V% (0 to 100)";
                     }
                     return "";
                   },
                   "", "volume")));
  cmd->add_flag("--drop-small", o->dropSmall,
                wrap("Drop the pieces below --min-volume instead of merging them."))
      ->needs(minVolume);
  once(cmd->add_option("--manifest", o->manifest,
                       wrap("Write a JSON manifest for a rigid-body solver: every piece of the "
                            "tree (name, level, parent, centre, volume, centroid, inertia "
                            "tensor, bounds) and a bond per pair of neighbouring pieces (area "
                            "they face each other with across the gap, its centroid and "
                            "normal). Written like -o, only with a result."))
           ->type_name("FILE.json"));
  once(cmd->add_option("--seed", o->seed,
                       wrap("Seed of every centre mode and of the node's jitter of the centres: "
                            "the same seed gives the same pieces. 0 to 4294967295. Default: 1."))
           ->type_name("S"));
  numberOnce(
      cmd->add_option("--thickness", o->thickness,
                      wrap("Knife thickness: the fraction by which each cell shrinks towards "
                           "its centre, so two pieces are parted by a gap of T times the "
                           "distance between their centres. 0.0001 to 0.9999 (the node clamps "
                           "its factor 1 - T to that range). Default: 0.001.")),
      "T", CLI::Range(0.0001f, 0.9999f));
  numberOnce(cmd->add_option("--uv-scale", o->uvScale,
                             wrap("Scale of the planar UVs of the new inner faces, in UV units per "
                                  "scene unit; at least 1 (the node's minimum). Default: 1.")),
             "S", CLI::Range(1.0f, 1.0e6f));
  numberOnce(
      cmd->add_option("--explode", o->explode,
                      wrap("Move every piece away from the mesh centre by F times its offset "
                           "from it, before the file is written and the bounds are taken (the "
                           "manifest keeps the pieces in place); 0 or more. Default: 0.")),
      "F", CLI::NonNegativeNumber);
  addRunOptions(*cmd, o->run);

  return {cmd, [o, radial](VerbIo& io) {
            if (o->centres.empty() && !o->count && o->impacts.empty() && radial->count() == 0) {
              throw UsageError(
                  "give at least one of --centers FILE, --count N, --impact X,Y,Z[,R] and "
                  "--radial X,Y,Z");
            }
            RunOutputs outputs(o->run);
            OutputFile manifestFile(o->manifest, {".json"});
            NameTable names(o->run.innerName);
            const InputMesh input = io.mesh(o->mesh, names, o->run.missingUv == "box");
            const HostArrays mesh = toHostArrays(input);

            FractureOptions f;
            f.centres.count = o->count ? static_cast<std::size_t>(*o->count) : 0;
            f.centres.nearSurface = o->nearSurface;
            f.centres.impacts = o->impacts;
            f.centres.impactCount = static_cast<std::size_t>(o->impactCount);
            if (radial->count() > 0) {
              Radial r;
              r.point = {o->radial[0], o->radial[1], o->radial[2]};
              if (o->axis != std::array<double, 3>{})
                r.axis = geom::Vec3{o->axis[0], o->axis[1], o->axis[2]};
              r.rings = static_cast<int>(o->rings);
              r.spokes = static_cast<int>(o->spokes);
              r.jitter = o->radialJitter;
              f.centres.radial = r;
            }
            if (!o->centres.empty()) f.centres.fixed = readCentres(io, o->centres);
            f.levelCount = static_cast<std::size_t>(o->levelCount ? *o->levelCount : 8);
            f.seed = o->seed;
            f.thickness = o->thickness;
            f.uvScale = o->uvScale;
            f.levels = static_cast<int>(o->levels);
            f.levelFraction = o->levelFraction;
            if (!o->minVolume.empty()) {
              const MinVolume m = parseMinVolume(o->minVolume);
              f.minVolume = m.percent ? m.value / 100 * std::fabs(meshVolume(input.file)) : m.value;
            }
            f.dropSmall = o->dropSmall;
            f.bonds = manifestFile.wanted() || io.keepsManifest();

            host::Host h(io.plugin("TSL_Voronoi"));
            Fracture fr;
            {
              const std::unique_ptr<NodeSession> session = io.session(o->run);
              fr = fracture(h, *session, input.file, mesh, f);
            }
            NodeRun run(tsl::voronoi::port::kOutput);
            const std::size_t leaves = fr.leaves.size();
            if (o->explode != 0.0) {
              run.adjust = [&fr, leaves, factor = o->explode](TopoMesh& m) {
                explode(m, fr.leafOfFace, leaves, factor);
              };
            }
            if (o->run.pieces == "solids") {
              run.pieces = [&fr](ResultMesh& r) {
                r.pieces.ofFace = fr.leafOfFace;
                r.pieces.count = fr.leaves.size();
                r.pieceNames.clear();
                r.pieceExtras.clear();
                for (int l : fr.leaves) {
                  r.pieceNames.push_back(fr.pieces[static_cast<std::size_t>(l)].name);
                  r.pieceExtras.push_back(pieceJson(fr, l));
                }
              };
            }
            const double thickness = o->thickness ? *o->thickness : 0.001;
            if (f.bonds) {
              run.manifest = [&] {
                return manifestJson(fr, o->mesh, o->seed, thickness, f.levels);
              };
            }
            if (manifestFile.wanted()) {
              run.afterWrite = [&] {
                manifestFile.commit([&](std::ostream& out) {
                  out << run.manifest().dump(1, ' ', false,
                                             nlohmann::ordered_json::error_handler_t::replace)
                      << '\n';
                });
              };
            }
            run.extra["centres"] = fr.counts.asked;
            run.extra["fracture"] = {
                {"levels", f.levels},         {"evaluations", fr.counts.evaluations},
                {"asked", fr.counts.asked},   {"made", fr.counts.made},
                {"merged", fr.counts.merged}, {"dropped", fr.counts.dropped}};
            run.extra["manifest"] = manifestFile.wanted() && fr.result.hasRecord
                                        ? nlohmann::ordered_json(o->manifest)
                                        : nullptr;
            return io.report(fr.result, run, o->run, outputs, names);
          }};
}

}  // namespace cli
