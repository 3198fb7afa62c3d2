// The verbs of the tessellon command. Each adds its subcommand, with every option and its
// help, to the command line and returns what runs it once the line is parsed. A run returns
// the exit status; it throws UsageError for a usage problem found after parsing, geom::Error
// for an input file, OutputError or WriteError for the output file. It takes its inputs from
// and reports through io (files and standard output for the command).
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "cli/verb_io.h"

namespace cli {

struct Verb {
  CLI::App* command = nullptr;
  std::function<int(VerbIo& io)> run;
};

Verb addInfo(CLI::App& app);
Verb addAbout(CLI::App& app);
Verb addCombine(CLI::App& app);
Verb addBoolean(CLI::App& app);
Verb addVoronoi(CLI::App& app);
Verb addContinuous(CLI::App& app);

}  // namespace cli
