// Command-line arguments of one verb: positionals and --options, checked against what the verb
// accepts.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// A usage problem; main prints its message on one line and exits with status 64.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionSpec {
  std::set<std::string> withValue;  // e.g. "--op", "-o"
  std::set<std::string> flags;      // e.g. "--json"
};

class Args {
 public:
  // Throws UsageError for an option not accepted or an option missing its value.
  Args(const std::string& verb, const std::vector<std::string>& argv, const OptionSpec& accepted);

  const std::vector<std::string>& positionals() const { return positionals_; }
  bool flag(const std::string& name) const { return flags_.count(name) != 0; }
  std::optional<std::string> value(const std::string& name) const;
  // The value of a required option; throws UsageError naming it when absent.
  std::string required(const std::string& name) const;
  // Parses a number option; throws UsageError when it is not one.
  std::optional<double> number(const std::string& name) const;
  std::optional<long long> integer(const std::string& name) const;
  // Requires exactly n positionals, naming them in the message.
  void expectPositionals(std::size_t n, const std::string& names) const;
  const std::string& verb() const { return verb_; }

 private:
  std::string verb_;
  std::vector<std::string> positionals_;
  std::set<std::string> flags_;
  std::map<std::string, std::string> values_;
};

}  // namespace cli
