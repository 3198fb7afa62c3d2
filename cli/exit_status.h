// The exit statuses of the tessellon command (documented in the README).
#pragma once

namespace cli {

inline constexpr int kExitResult = 0;        // the node published a result
inline constexpr int kExitInternal = 1;      // an unexpected failure of the command itself
inline constexpr int kExitNoRecord = 2;      // the node published the empty output or none
inline constexpr int kExitPassThrough = 3;   // the Boolean node refused and passed A through
inline constexpr int kExitUsage = 64;        // a bad command line
inline constexpr int kExitInput = 66;        // an input file is missing or cannot be used
inline constexpr int kExitCantCreate = 73;   // the output file cannot be created
inline constexpr int kExitWriteFailed = 74;  // writing the output file failed
inline constexpr int kExitCancelled = 130;   // Ctrl-C: the node stopped and published nothing

}  // namespace cli
