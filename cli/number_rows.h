// Text files of numbers that the verbs read beside the meshes (Voronoi centres, knife
// placements): a row of numbers a line, '#' starting a comment.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace cli {

// Calls take(line, numbers) for every line of in (the file at path) that holds numbers, in order;
// line counts from 1 over all lines, blank ones too. take throws for a row it refuses, so the
// first bad line is the one reported. Numbers are read as T (float or double): a value T cannot
// hold makes its line bad. Throws geom::Error "PATH: line N is not " + expected for a line that
// holds anything but numbers.
template <class T>
void forEachNumberRow(std::istream& in, const std::string& path, const std::string& expected,
                      const std::function<void(int line, std::vector<T>& numbers)>& take);

// "PATH: line N", the start of the message about a row of the file at path.
std::string atLine(const std::string& path, int line);

}  // namespace cli
