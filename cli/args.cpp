#include "cli/args.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace cli {

Args::Args(const std::string& verb, const std::vector<std::string>& argv,
           const OptionSpec& accepted)
    : verb_(verb) {
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a.size() > 1 && a[0] == '-' &&
        !(a.size() > 1 && (std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.'))) {
      if (accepted.flags.count(a)) {
        flags_.insert(a);
      } else if (accepted.withValue.count(a)) {
        if (i + 1 >= argv.size())
          throw UsageError("tessellon " + verb + ": option " + a + " needs a value");
        values_[a] = argv[++i];
      } else {
        throw UsageError("tessellon " + verb + ": unknown option '" + a + "'");
      }
    } else {
      positionals_.push_back(a);
    }
  }
}

std::optional<std::string> Args::value(const std::string& name) const {
  const auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string Args::required(const std::string& name) const {
  const auto v = value(name);
  if (!v) throw UsageError("tessellon " + verb_ + ": option " + name + " is required");
  return *v;
}

std::optional<double> Args::number(const std::string& name) const {
  const auto v = value(name);
  if (!v) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double d = std::strtod(v->c_str(), &end);
  if (v->empty() || *end != '\0' || errno != 0 || !std::isfinite(d)) {
    throw UsageError("tessellon " + verb_ + ": option " + name + " expects a number, not '" + *v +
                     "'");
  }
  return d;
}

std::optional<long long> Args::integer(const std::string& name) const {
  const auto v = value(name);
  if (!v) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(v->c_str(), &end, 10);
  if (v->empty() || *end != '\0' || errno != 0) {
    throw UsageError("tessellon " + verb_ + ": option " + name + " expects an integer, not '" + *v +
                     "'");
  }
  return n;
}

void Args::expectPositionals(std::size_t n, const std::string& names) const {
  if (positionals_.size() != n) {
    throw UsageError("tessellon " + verb_ + ": expected " + names + " (got " +
                     std::to_string(positionals_.size()) + " arguments)");
  }
}

}  // namespace cli
