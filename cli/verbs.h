// The verbs of the tessellon command. Each takes the arguments after the verb and returns the
// process exit status; usage problems throw UsageError, file problems geom::Error.
#pragma once

#include <string>
#include <vector>

namespace cli {

int runInfo(const std::vector<std::string>& argv);
int runCombine(const std::vector<std::string>& argv);
int runBoolean(const std::vector<std::string>& argv);
int runAbout(const std::vector<std::string>& argv);
int runContinuous(const std::vector<std::string>& argv);
int runVoronoi(const std::vector<std::string>& argv);

}  // namespace cli
