// Memory exhaustion on demand inside one loaded plug-in. A test executable that links
// allocation_failure.cpp replaces the global operator new; while an AllocationFailure is alive,
// the n-th allocation made by the code of the named shared object (not by the host face, the SDK
// or the standard library's own compiled code) throws std::bad_alloc, once. Everything else
// allocates as usual, so the plug-in meets exhaustion exactly where its own code asks for
// memory and can still report it afterwards.
//
// The executable must export its symbols (ENABLE_EXPORTS), so that the plug-in's calls of
// operator new resolve to the replacement.
#pragma once

#include <cstddef>
#include <string>

namespace tsl::test {

class AllocationFailure {
 public:
  // Fails the n-th allocation (from 1) of the loaded object whose file is objectPath; n = 0
  // fails none and only counts. Throws std::runtime_error when no loaded object has that path.
  AllocationFailure(const std::string& objectPath, std::size_t n);
  ~AllocationFailure();  // disarms
  AllocationFailure(const AllocationFailure&) = delete;
  AllocationFailure& operator=(const AllocationFailure&) = delete;

  // Allocations of the object so far, and whether the n-th was refused.
  std::size_t allocations() const;
  bool refused() const;
};

}  // namespace tsl::test
