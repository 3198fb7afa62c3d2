#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace cli {

namespace fs = std::filesystem;

std::string lowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

namespace {

std::string listed(const std::vector<std::string>& extensions) {
  std::string out;
  for (std::size_t i = 0; i < extensions.size(); ++i) {
    if (i > 0) out += i + 1 == extensions.size() ? " or " : ", ";
    out += extensions[i];
  }
  return out;
}

}  // namespace

OutputFile::OutputFile(std::string path, const std::vector<std::string>& extensions)
    : path_(std::move(path)) {
  if (path_.empty()) return;
  const std::string ext = lowerExtension(path_);
  if (std::find(extensions.begin(), extensions.end(), ext) == extensions.end()) {
    throw OutputError(path_ + ": unknown output format '" + ext + "' (expected " +
                      listed(extensions) + ")");
  }
  std::error_code ec;
  if (fs::is_directory(path_, ec)) throw OutputError(path_ + ": is a folder");
  const fs::path target(path_);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(dir, ec)) {
    throw OutputError(path_ + ": the folder " + dir.string() + " does not exist");
  }
  // Hidden, in the target's folder: the rename is then atomic and never crosses a file system.
  std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  fd_ = mkstemp(pattern.data());
  if (fd_ < 0) {
    throw OutputError(path_ + ": cannot create a file in " + dir.string() + " (" +
                      std::strerror(errno) + ")");
  }
  temp_ = pattern;
  // mkstemp makes the file private to its owner; a result file gets the usual mode.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!temp_.empty()) unlink(temp_.c_str());
}

void OutputFile::commit(const std::function<void(std::ostream&)>& write) {
  if (path_.empty()) return;
  close(fd_);
  fd_ = -1;
  try {
    std::ofstream out(temp_, std::ios::binary | std::ios::trunc);
    if (!out) throw WriteError(path_ + ": cannot open " + temp_ + " for writing");
    write(out);
    out.flush();
    if (!out) throw WriteError(path_ + ": writing failed (" + std::strerror(errno) + ")");
    out.close();
    if (!out) throw WriteError(path_ + ": writing failed (" + std::strerror(errno) + ")");
  } catch (const WriteError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw WriteError(path_ + ": out of memory while writing");
  } catch (const std::exception& e) {
    throw WriteError(path_ + ": " + e.what());
  }
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
    throw WriteError(path_ + ": cannot rename " + temp_ + " to it (" + std::strerror(errno) + ")");
  }
  temp_.clear();
}

}  // namespace cli
