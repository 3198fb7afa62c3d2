// Voro++'s fatal-error hook, made to throw.
//
// The library declares voro::voro_fatal_error inline in common.hh (print, then exit()), so every
// object of libvoro++.a that calls it carries its own weak copy, and every call goes through the
// symbol. The strong definition below takes precedence over all of those weak copies at link
// time, so the library's failures unwind to our caller instead of ending the host process.
// This file must not include common.hh (the inline definition would clash with ours), and it
// must end up in every link that pulls in Voro++: voronoi_cells.cpp throws VoroError, whose
// key function lives here, so taking voronoi_cells.o from the archive always takes this object
// with it.
#include <string>

#include "voronoi/voronoi_cells.h"

namespace voro {
[[noreturn]] void voro_fatal_error(const char* message, int status);

void voro_fatal_error(const char* message, int status) {
  throw tsl::voronoi::VoroError(std::string("voro++: ") + (message ? message : "(no message)"),
                                status);
}
}  // namespace voro

namespace tsl::voronoi {

VoroError::VoroError(const std::string& message, int status)
    : std::runtime_error(message), status_(status) {}

VoroError::~VoroError() = default;

}  // namespace tsl::voronoi
