#include "core/progress.h"

#include <algorithm>
#include <limits>

#include "xsi_registration.h"
#include "xsi_uitoolkit.h"

namespace tsl {
namespace {

XSI::LONG toLong(std::size_t n) {
  return static_cast<XSI::LONG>(std::min<std::size_t>(n, std::numeric_limits<XSI::LONG>::max()));
}

}  // namespace

Progress hostProgress() {
  Progress p;
  p.stage = [](const std::string& caption, std::size_t units) {
    XSI::ProgressBar bar = XSI::Application().GetUIToolkit().GetProgressBar();
    // No caption while value and maximum change, the new one last: a listener never sees one
    // stage's caption with another stage's numbers.
    bar.PutCaption(XSI::CString());
    bar.PutValue(0);
    bar.PutMaximum(toLong(units));
    bar.PutCaption(XSI::CString(caption));
  };
  p.advance = [](std::size_t units) {
    XSI::Application().GetUIToolkit().GetProgressBar().Increment(toLong(units));
  };
  p.cancelRequested = [] {
    return XSI::Application().GetUIToolkit().GetProgressBar().IsCancelPressed();
  };
  return p;
}

}  // namespace tsl
