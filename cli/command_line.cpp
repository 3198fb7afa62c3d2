#include "cli/command_line.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <type_traits>

namespace cli {
namespace {

// A value option of two numbers with one of separators between them and nothing after
// ("800x600", "35,25"), given once. valid says whether a pair is in range; problem completes
// the message for a value that is refused.
template <class T>
void addPair(CLI::App& verb, const std::string& name, const std::string& typeName,
             const std::string& separators, std::array<T, 2>& value, bool (*valid)(T, T),
             const std::string& problem, const std::string& help) {
  once(verb.add_option_function<std::string>(
               name,
               [&value, name, separators, valid, problem](const std::string& text) {
                 constexpr const char* format = std::is_same_v<T, int> ? "%d%c%d%c" : "%lf%c%lf%c";
                 T a = 0, b = 0;
                 char between = 0, rest = 0;
                 if (std::sscanf(text.c_str(), format, &a, &between, &b, &rest) != 3 ||
                     separators.find(between) == std::string::npos || !valid(a, b)) {
                   throw CLI::ValidationError(name, text + " " + problem);
                 }
                 value = {a, b};
               },
               help)
           ->type_name(typeName));
}

}  // namespace

std::string wrap(const std::string& text, std::size_t width) {
  std::istringstream words(text);
  std::string out, word;
  std::size_t column = 0;
  while (words >> word) {
    if (column > 0 && column + 1 + word.size() > width) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
  return out;
}

void addRunOptions(CLI::App& verb, RunOptions& options) {
  once(verb.add_option("-o,--output", options.output,
                       wrap("Result file: .obj (one object per piece, usemtl per identifier, UVs "
                            "as vt, and a .mtl of the same name beside it), .ply (ASCII; per "
                            "face island and face_id, per-corner uvw, identifier names in "
                            "comments) or .glb (glTF 2.0: a node per piece, a material per "
                            "identifier). Its folder and format are checked before the node "
                            "runs; the file is written under a temporary name and renamed, so "
                            "a failed run leaves no partial file. Default: nothing is written."))
           ->type_name("OUT"));
  once(verb.add_option("--preview", options.preview,
                       wrap("Also draw the result into a .png picture: a three-quarter view "
                            "with +y up, pieces in their own colours, cut faces lighter, a "
                            "ground shadow. Checked and written like -o. Default: no picture."))
           ->type_name("FILE.png"));
  addPair<int>(
      verb, "--preview-size", "WxH", "xX", options.previewSize,
      [](int w, int h) { return w >= 16 && h >= 16 && w <= 4096 && h <= 4096; },
      "is not WxH with 16 to 4096 pixels each",
      wrap("Size of the --preview picture in pixels, 16 to 4096 each way. Default: "
           "800x600."));
  addPair<double>(
      verb, "--preview-angle", "AZ,EL", ",", options.previewAngle,
      [](double az, double el) { return std::isfinite(az) && el >= -89 && el <= 89; },
      "is not AZ,EL with EL from -89 to 89 degrees",
      wrap("Where the --preview camera stands: AZ degrees about +y from +z towards "
           "+x, EL degrees above the ground (-89 to 89). Default: 35,25."));
  once(verb.add_option("--inner-name", options.innerName,
                       wrap("Name of the faces a cut makes (identifier -2) in the files written; "
                            "faces read under this name get -2 back. Identifiers are read by "
                            "name (OBJ materials, else groups; PLY face_id with its names), one "
                            "table for all inputs; faces without a name take their file's name. "
                            "Default: inside."))
           ->type_name("NAME")
           ->check(CLI::Validator(
               [](std::string& text) -> std::string {
                 const bool blank = text.find_first_not_of(" \t") == std::string::npos;
                 if (blank || text.find_first_of("\r\n") != std::string::npos)
                   return "the name must be one non-empty line";
                 return "";
               },
               "", "name")));
  once(verb.add_option("--pieces", options.pieces,
                       wrap("What an object of the files and a colour of the picture is: solids "
                            "(an island wound inwards, a cavity, goes with the island around "
                            "it) or islands (every island on its own). Default: solids."))
           ->check(CLI::IsMember({"solids", "islands"})));
  numberOnce(
      verb.add_option("--sharp-angle", options.sharpAngle,
                      wrap("GLB normals and preview shading: faces meeting at less than this "
                           "many degrees share their normals, sharper edges stay crisp; 0 gives "
                           "flat faces. 0 to 180. Default: 30.")),
      "DEG", CLI::Range(0.0, 180.0));
  once(verb.add_option("--missing-uv", options.missingUv,
                       wrap("UVs for an input mesh file without texture coordinates: box (each "
                            "face projected along the axis nearest its normal, in scene units) "
                            "or none (the node gets no UVs and publishes none). Default: box."))
           ->check(CLI::IsMember({"box", "none"})));
  once(verb.add_option("--pivot", options.pivot,
                       wrap("Where a GLB places each piece's node: centroid (the node's "
                            "translation is the piece's centre of volume and its vertices are "
                            "relative to it, so a 3D application or a rigid-body solver turns "
                            "the piece about its own centre) or origin (every node at the scene "
                            "origin, vertices as they are). OBJ and PLY have no transforms: "
                            "their vertices stay where they are. Default: centroid."))
           ->check(CLI::IsMember({"centroid", "origin"})));
  verb.add_flag("--json", options.json,
                wrap("Print a JSON summary of the run on standard output (see the README)."));
  verb.add_flag("-q,--quiet", options.quiet,
                wrap("Show no progress on standard error (log lines are still printed)."));
}

CLI::Option* once(CLI::Option* opt) {
  // CLI11 runs checks on every occurrence before it reduces them, so counting here sees a
  // repetition first and can name it.
  auto seen = std::make_shared<int>(0);
  opt->check(CLI::Validator(
      [seen](std::string&) -> std::string {
        return ++*seen > 1 ? "given more than once; give it once" : "";
      },
      "", "once"));
  return opt;
}

CLI::Option* addTriple(CLI::App& verb, const std::string& name, std::array<double, 3>& value,
                       const std::string& help) {
  auto* opt = verb.add_option_function<std::string>(
      name,
      [&value, name](const std::string& text) {
        std::string s = text;
        for (char& c : s) c = c == ',' ? ' ' : c;
        std::istringstream in(s);
        std::array<double, 3> v{};
        std::string rest;
        if (!(in >> v[0] >> v[1] >> v[2]) || (in >> rest) || !std::isfinite(v[0]) ||
            !std::isfinite(v[1]) || !std::isfinite(v[2])) {
          throw CLI::ValidationError(name, text + " is not three finite numbers X,Y,Z");
        }
        value = v;
      },
      help);
  opt->type_name("X,Y,Z");
  return once(opt);
}

CLI::Option* addImpacts(CLI::App& verb, std::vector<Impact>& impacts, const std::string& help) {
  return verb
      .add_option_function<std::vector<std::string>>(
          "--impact",
          [&impacts](const std::vector<std::string>& all) {
            impacts.clear();
            for (const auto& t : all) {
              const auto i = impactFromText(t);
              if (!i) {
                throw CLI::ValidationError(
                    "--impact", t + " is not X,Y,Z or X,Y,Z,R (finite numbers, R above 0)");
              }
              impacts.push_back(*i);
            }
          },
          help)
      ->type_name("X,Y,Z[,R]")
      ->allow_extra_args(false);
}

CLI::Option* numberOnce(CLI::Option* opt, const std::string& typeName,
                        const CLI::Validator& range) {
  return once(opt->type_name(typeName)->check(finiteNumber())->check(range));
}

CLI::Validator finiteNumber() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        try {
          std::size_t used = 0;
          const double v = std::stod(text, &used);
          if (used == text.size() && std::isfinite(v)) return "";
        } catch (const std::exception&) {
        }
        return text + " is not a finite number";
      },
      "", "finite");
}

}  // namespace cli

namespace cli {

CLI::Validator greaterThanZero() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        try {
          if (std::stod(text) > 0.0) return "";
        } catch (const std::exception&) {
        }
        return text + " is not greater than 0";
      },
      "> 0", "positive");
}

}  // namespace cli
