// The result file of a run: checked before the node runs, written under a temporary name in
// the same folder and renamed over the target, so a failure never leaves a partial file.
#pragma once

#include <stdexcept>
#include <string>

#include "cli/record.h"

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

class OutputFile {
 public:
  // Checks the format (.obj or .ply, any case) and creates the temporary file next to path.
  // Throws OutputError with a message naming path and the problem. An empty path means no
  // output: every call below then does nothing.
  explicit OutputFile(std::string path);
  // Removes the temporary file when commit did not happen.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool wanted() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

  // Writes mesh into the temporary file and renames it to path. Throws WriteError (the
  // temporary file is removed and path left as it was).
  void commit(const TopoMesh& mesh);

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
};

}  // namespace cli
