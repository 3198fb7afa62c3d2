// A file a run writes: checked before the node runs, written under a temporary name in the
// same folder and renamed over the target, so a failure never leaves a partial file.
#pragma once

#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// The output file cannot be created: unknown format, missing folder, not writable.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writing the file failed after it was opened (disk full, I/O error).
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The extension of path in lower case, with its dot (".obj"), or "".
std::string lowerExtension(const std::string& path);

class OutputFile {
 public:
  // Checks that path ends in one of extensions (lower case, with the dot; any case in path)
  // and creates the temporary file next to it. Throws OutputError naming path and the problem.
  // An empty path means no output: every call below then does nothing.
  OutputFile(std::string path, const std::vector<std::string>& extensions);
  // Removes the temporary file when commit did not happen.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool wanted() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

  // Calls write on the temporary file, then renames it to path. Throws WriteError when the
  // stream fails, memory runs out or write throws (the temporary file is removed and path left
  // as it was).
  void commit(const std::function<void(std::ostream&)>& write);

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
};

}  // namespace cli
