#include "cli/number_rows.h"

#include <sstream>

#include "geom/error.h"

namespace cli {

template <class T>
void forEachNumberRow(std::istream& in, const std::string& path, const std::string& expected,
                      const std::function<void(int line, std::vector<T>& numbers)>& take) {
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream s(line);
    std::vector<T> row;
    T v;
    while (s >> v) row.push_back(v);
    if (!s.eof()) throw geom::Error(atLine(path, n) + " is not " + expected);
    if (!row.empty()) take(n, row);
  }
}

template void forEachNumberRow<float>(std::istream&, const std::string&, const std::string&,
                                      const std::function<void(int, std::vector<float>&)>&);
template void forEachNumberRow<double>(std::istream&, const std::string&, const std::string&,
                                       const std::function<void(int, std::vector<double>&)>&);

std::string atLine(const std::string& path, int line) {
  return path + ": line " + std::to_string(line);
}

}  // namespace cli
