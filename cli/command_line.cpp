#include "cli/command_line.h"

#include <cmath>
#include <memory>
#include <sstream>

namespace cli {

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
                       wrap("Result file, .obj (one object per piece, UVs as vt) or .ply (ASCII; "
                            "per face island and face_id, per-corner uvw). Its folder and "
                            "format are checked before the node runs; the file is written "
                            "under a temporary name and renamed, so a failed run leaves no "
                            "partial file. Default: nothing is written."))
           ->type_name("OUT"));
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
