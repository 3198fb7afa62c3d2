// What every verb's command line shares, on top of CLI11: help text wrapped under the option
// column, the options of a node run, an option that may be given only once, and "X,Y,Z" values.
#pragma once

#include <CLI/CLI.hpp>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/centres.h"

namespace cli {

// A usage problem found after parsing (two options that exclude each other, a value the node
// would not take); main prints it on one line and exits with kExitUsage.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// text broken into lines of at most width columns at blanks; CLI11 indents every line after
// the first under the option column.
std::string wrap(const std::string& text, std::size_t width = 54);

// The options every verb that runs a node takes.
struct RunOptions {
  std::string output;                          // -o; empty: nothing is written
  std::string preview;                         // --preview; empty: no picture
  std::array<int, 2> previewSize{800, 600};    // --preview-size WxH
  std::array<double, 2> previewAngle{35, 25};  // --preview-angle AZ,EL in degrees
  std::string innerName = "inside";            // --inner-name: the name of the cut faces (-2)
  std::string pieces = "solids";               // --pieces solids|islands
  double sharpAngle = 30.0;                    // --sharp-angle: degrees, 0 flat
  std::string missingUv = "box";               // --missing-uv box|none
  std::string pivot = "centroid";              // --pivot centroid|origin: GLB nodes' placement
  bool json = false;                           // --json
  bool quiet = false;                          // --quiet: no progress display
};
void addRunOptions(CLI::App& verb, RunOptions& options);

// Makes a second occurrence of opt a usage error that names it (CLI11 would otherwise report
// "At Most 1 required"). Returns opt.
CLI::Option* once(CLI::Option* opt);

// A value option of three finite numbers written "X,Y,Z" (also "X Y Z" in one argument),
// given once.
CLI::Option* addTriple(CLI::App& verb, const std::string& name, std::array<double, 3>& value,
                       const std::string& help);

// A repeatable option "--impact X,Y,Z[,R]" that fills impacts (a usage error names a value that
// is not one). Returns the option.
CLI::Option* addImpacts(CLI::App& verb, std::vector<Impact>& impacts, const std::string& help);

// Makes opt a number option given once, shown as typeName, that takes only finite numbers
// that pass range (a CLI11 check). Returns opt.
CLI::Option* numberOnce(CLI::Option* opt, const std::string& typeName, const CLI::Validator& range);

// A CLI11 check that refuses NaN and infinities (CLI11's own number conversion accepts them).
CLI::Validator finiteNumber();

// A CLI11 check that takes only numbers greater than 0 (CLI::PositiveNumber prints a range up
// to the largest double in its message).
CLI::Validator greaterThanZero();

}  // namespace cli
