// Export-list check for plug-in libraries.
#pragma once

#include <string>
#include <vector>

namespace tsl::test {

// Names of the symbols a shared library exports: the defined global, weak and unique entries of
// its ELF .dynsym, sorted. Throws std::runtime_error naming the file when it cannot be read or
// is not a 64-bit little-endian ELF file with a dynamic symbol table.
std::vector<std::string> exportedSymbols(const std::string& path);

}  // namespace tsl::test
