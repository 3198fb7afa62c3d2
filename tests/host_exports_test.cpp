// The export-list check, on the test plug-ins and on the SDK face library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/exports.h"

namespace {

using tsl::test::exportedSymbols;

TEST(ExportedSymbols, PluginExportsOnlyEntryPointsAndCallbacks) {
  EXPECT_EQ(exportedSymbols(TSL_FIXTURE_PLUGIN),
            (std::vector<std::string>{"TSL_Fixture_BeginEvaluate", "TSL_Fixture_Evaluate",
                                      "TSL_Fixture_Init", "XSILoadPlugin", "XSIUnloadPlugin"}));
  EXPECT_EQ(exportedSymbols(TSL_BROKEN_PLUGIN),
            (std::vector<std::string>{"TSL_Broken_Evaluate", "TSL_Broken_Term", "XSILoadPlugin"}));
}

TEST(ExportedSymbols, SdkFaceExportsItsClasses) {
  const auto names = exportedSymbols(TSL_XSI_LIBRARY);
  for (const char* mangled :
       {"_ZN3XSI7CString14PutAsciiStringEPKc",
        "_ZNK3XSI11Application10LogMessageERKNS_7CStringENS_14siSeverityTypeE",
        "_ZN3XSI14ICENodeContext16ReleaseDataArrayERNS_13CDataArrayRefE",
        "_ZTVN3XSI15PluginRegistrarE"})
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), mangled)) << mangled;
}

TEST(ExportedSymbols, UnreadableOrForeignFilesThrowNamingTheFile) {
  EXPECT_THROW(exportedSymbols("/nonexistent/x.so"), std::runtime_error);
  const auto text = std::filesystem::temp_directory_path() / "tsl_exports_not_elf.so";
  std::ofstream(text) << "\x7f"
                         "ELF but not really";
  try {
    exportedSymbols(text.string());
    FAIL() << "parsed a truncated file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(text.string()), std::string::npos);
  }
  std::filesystem::remove(text);
}

}  // namespace
