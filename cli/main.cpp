// tessellon: runs the Tessellon plug-ins on mesh files through the host stand-in.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/output_file.h"
#include "cli/verbs.h"
#include "geom/error.h"
#include "host/host.h"

namespace {

constexpr const char* kFooter =
    "Run 'tessellon VERB --help' for a verb's options.\n"
    "Exit status: 0 a result; 2 the node published the empty output or none; 3 the Boolean\n"
    "node passed A through; 64 a bad command line; 66 an input file missing or unusable;\n"
    "73 the output file cannot be created; 74 writing it failed; 130 cancelled with Ctrl-C;\n"
    "1 anything else.";

std::string verbName(const CLI::App& app) {
  const auto parsed = app.get_subcommands();
  return parsed.empty() ? "tessellon" : "tessellon " + parsed.front()->get_name();
}

// The exit status for what a verb threw: its kind of problem, else an internal error.
int exitStatusOf(const std::exception& e) {
  if (dynamic_cast<const cli::UsageError*>(&e)) return cli::kExitUsage;
  if (dynamic_cast<const geom::Error*>(&e)) return cli::kExitInput;
  if (dynamic_cast<const cli::OutputError*>(&e)) return cli::kExitCantCreate;
  if (dynamic_cast<const cli::WriteError*>(&e)) return cli::kExitWriteFailed;
  return cli::kExitInternal;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "Runs the Tessellon plug-ins (Combiner, Boolean, Voronoi, Continuous) on mesh "
      "files, through the same host calls a 3D application makes.",
      "tessellon");
  app.set_version_flag("--version", std::string("tessellon ") + TSL_VERSION);
  app.require_subcommand(1, 1);
  app.footer(kFooter);
  app.get_formatter()->column_width(26);
  const std::vector<cli::Verb> verbs = {cli::addInfo(app),    cli::addAbout(app),
                                        cli::addCombine(app), cli::addBoolean(app),
                                        cli::addVoronoi(app), cli::addContinuous(app)};

  const auto isVerb = [&verbs](const std::string& word) {
    for (const auto& v : verbs) {
      if (v.command->get_name() == word) return true;
    }
    return false;
  };
  if (argc >= 2 && argv[1][0] != '-' && !isVerb(argv[1])) {
    std::cerr << "tessellon: unknown verb '" << argv[1]
              << "' (info, about, combine, boolean, voronoi, continuous)\n";
    return cli::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
    std::cerr << verbName(app) << ": " << e.what() << "\n(see '" << verbName(app) << " --help')\n";
    return cli::kExitUsage;
  }

  const std::string name = verbName(app);
  try {
    cli::VerbIo files;
    for (const auto& verb : verbs) {
      if (verb.command->parsed()) return verb.run(files);
    }
    return cli::kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << name << ": " << e.what() << '\n';
    return exitStatusOf(e);
  }
}
