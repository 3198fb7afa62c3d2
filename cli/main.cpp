// tessellon: runs the Tessellon plug-ins on mesh files through the host stand-in.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/node_run.h"
#include "cli/verbs.h"
#include "geom/error.h"

namespace {

constexpr const char* kUsage =
    "usage: tessellon <verb> [arguments]\n"
    "  info PLUGIN [--json]                      the node a plug-in registers\n"
    "  combine MESH [--filter-id N] [-o OUT] [--json]\n"
    "  boolean A B --op union|intersection|a-minus-b|b-minus-a|symmetric-difference\n"
    "          [--classify edge|normal] [--triangulate] [--canonicalize] [-o OUT] [--json]\n"
    "  about PLUGIN                              the text of a node's About port\n"
    "  voronoi MESH (--centers FILE | --count N [--seed S]) [--thickness T]\n"
    "          [--uv-scale S] [--explode F] [-o OUT] [--json]\n"
    "  continuous MESH --knife KNIFE (--instances FILE | --knife-points FILE)\n"
    "          [-o OUT] [--json]\n"
    "MESH: .obj, .off, .ply or .stl; OUT: .obj or .ply. PLUGIN: a .so path or a node name.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    std::cout << kUsage;
    return argc < 2 ? cli::kExitUsage : 0;
  }
  const std::string verb = argv[1];
  const std::vector<std::string> rest(argv + 2, argv + argc);
  try {
    if (verb == "info") return cli::runInfo(rest);
    if (verb == "combine") return cli::runCombine(rest);
    if (verb == "boolean") return cli::runBoolean(rest);
    if (verb == "about") return cli::runAbout(rest);
    if (verb == "continuous") return cli::runContinuous(rest);
    if (verb == "voronoi") return cli::runVoronoi(rest);
    std::cerr << "tessellon: unknown verb '" << verb << "'\n" << kUsage;
    return cli::kExitUsage;
  } catch (const cli::UsageError& e) {
    std::cerr << e.what() << '\n';
    return cli::kExitUsage;
  } catch (const geom::Error& e) {
    std::cerr << "tessellon " << verb << ": " << e.what() << '\n';
    return cli::kExitInput;
  } catch (const std::exception& e) {
    std::cerr << "tessellon " << verb << ": " << e.what() << '\n';
    return 1;
  }
}
