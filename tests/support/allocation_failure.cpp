#include "support/allocation_failure.h"

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string_view>

namespace {

// Read by operator new, so nothing here may allocate: fixed ranges and plain counters.
struct Range {
  std::uintptr_t begin = 0, end = 0;
};
constexpr int kMaxRanges = 8;
Range g_ranges[kMaxRanges];
std::atomic<int> g_rangeCount{0};
std::atomic<std::size_t> g_seen{0};
std::size_t g_failAt = 0;
bool g_refused = false;

struct Search {
  char wanted[PATH_MAX];
  int found = 0;
};

int collectCode(dl_phdr_info* info, std::size_t, void* data) {
  auto* s = static_cast<Search*>(data);
  char real[PATH_MAX];
  if (info->dlpi_name == nullptr || realpath(info->dlpi_name, real) == nullptr) return 0;
  if (std::string_view(real) != s->wanted) return 0;
  for (int i = 0; i < info->dlpi_phnum && s->found < kMaxRanges; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || (ph.p_flags & PF_X) == 0) continue;
    const std::uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
    g_ranges[s->found++] = {begin, begin + ph.p_memsz};
  }
  return 0;
}

bool fromWatchedCode(const void* caller) {
  const auto a = reinterpret_cast<std::uintptr_t>(caller);
  const int n = g_rangeCount.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    if (a >= g_ranges[i].begin && a < g_ranges[i].end) return true;
  }
  return false;
}

void* allocate(std::size_t size, const void* caller) {
  if (fromWatchedCode(caller)) {
    const std::size_t n = g_seen.fetch_add(1) + 1;
    if (n == g_failAt) {
      g_refused = true;
      throw std::bad_alloc();
    }
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

// The replacements: every allocation goes through malloc, and those the watched object asks
// for are counted.
void* operator new(std::size_t size) {
  return allocate(size, __builtin_return_address(0));
}
void* operator new[](std::size_t size) {
  return allocate(size, __builtin_return_address(0));
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace tsl::test {

AllocationFailure::AllocationFailure(const std::string& objectPath, std::size_t n) {
  Search s;
  if (realpath(objectPath.c_str(), s.wanted) == nullptr) {
    throw std::runtime_error(objectPath + ": no such file");
  }
  dl_iterate_phdr(collectCode, &s);
  if (s.found == 0) throw std::runtime_error(objectPath + ": not loaded");
  g_seen = 0;
  g_failAt = n;
  g_refused = false;
  g_rangeCount.store(s.found, std::memory_order_release);
}

AllocationFailure::~AllocationFailure() {
  g_rangeCount.store(0, std::memory_order_release);
  g_failAt = 0;
}

std::size_t AllocationFailure::allocations() const {
  return g_seen;
}

bool AllocationFailure::refused() const {
  return g_refused;
}

}  // namespace tsl::test
