#include "support/exports.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tsl::test {
namespace {

// Reads a T at offset, checking that it lies inside the file.
template <class T>
T readAt(const std::vector<char>& file, std::uint64_t offset, const std::string& path) {
  if (offset > file.size() || file.size() - offset < sizeof(T))
    throw std::runtime_error(path + ": truncated ELF file");
  T value;
  std::memcpy(&value, file.data() + offset, sizeof(T));
  return value;
}

}  // namespace

std::vector<std::string> exportedSymbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot open");
  const std::vector<char> file{std::istreambuf_iterator<char>(in), {}};

  const auto eh = readAt<Elf64_Ehdr>(file, 0, path);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0)
    throw std::runtime_error(path + ": not an ELF file");
  if (eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB)
    throw std::runtime_error(path + ": not a 64-bit little-endian ELF file");
  if (eh.e_shentsize != sizeof(Elf64_Shdr))
    throw std::runtime_error(path + ": unexpected section header size");

  auto section = [&](std::uint64_t index) {
    if (index >= eh.e_shnum) throw std::runtime_error(path + ": bad section index");
    return readAt<Elf64_Shdr>(file, eh.e_shoff + index * sizeof(Elf64_Shdr), path);
  };

  for (std::uint64_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr dynsym = section(i);
    if (dynsym.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr strtab = section(dynsym.sh_link);
    if (dynsym.sh_entsize != sizeof(Elf64_Sym))
      throw std::runtime_error(path + ": unexpected symbol size");

    std::vector<std::string> names;
    const std::uint64_t count = dynsym.sh_size / sizeof(Elf64_Sym);
    for (std::uint64_t k = 1; k < count; ++k) {  // entry 0 is the null symbol
      const auto sym = readAt<Elf64_Sym>(file, dynsym.sh_offset + k * sizeof(Elf64_Sym), path);
      const unsigned bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF) continue;
      if (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE) continue;
      if (sym.st_name >= strtab.sh_size)
        throw std::runtime_error(path + ": symbol name outside the string table");
      const std::uint64_t start = strtab.sh_offset + sym.st_name;
      const std::uint64_t end = strtab.sh_offset + strtab.sh_size;
      if (end > file.size()) throw std::runtime_error(path + ": truncated string table");
      const char* first = file.data() + start;
      const char* last = std::find(first, file.data() + end, '\0');
      names.emplace_back(first, last);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  throw std::runtime_error(path + ": no dynamic symbol table");
}

}  // namespace tsl::test
