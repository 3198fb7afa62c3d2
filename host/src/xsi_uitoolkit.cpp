// SDK face: the progress bar, kept in the current session and reported to the host face.
#include <algorithm>

#include "detail.h"
#include "xsi_uitoolkit.h"

namespace XSI {
namespace {

// Tells the host face what the bar shows now. Its listener runs inside the plug-in's call, so
// nothing it throws may get out.
void changed(host::detail::Session& s) {
  if (!s.progressListener) return;
  try {
    s.progressListener(s.progress);
  } catch (...) {
    host::detail::reportSdkError("the host's progress listener threw");
  }
}

// Applies change to the bar of the current session, then tells the host face. Fail when no
// session is current; MemoryOverflow, and nothing told, when change throws.
template <class F>
CStatus update(F&& change) {
  auto* s = host::detail::currentSession();
  if (s == nullptr) return CStatus::Fail;
  try {
    change(s->progress);
  } catch (...) {
    return CStatus::MemoryOverflow;
  }
  changed(*s);
  return CStatus::OK;
}

}  // namespace

CStatus ProgressBar::PutMaximum(LONG maximum) {
  return update([&](host::ProgressReport& bar) {
    bar.maximum = std::max<LONG>(maximum, 0);
    bar.value = std::min(bar.value, bar.maximum);
  });
}

LONG ProgressBar::GetMaximum() const {
  const auto* s = host::detail::currentSession();
  return s ? s->progress.maximum : 0;
}

CStatus ProgressBar::PutValue(LONG value) {
  return update(
      [&](host::ProgressReport& bar) { bar.value = std::clamp<LONG>(value, 0, bar.maximum); });
}

LONG ProgressBar::GetValue() const {
  const auto* s = host::detail::currentSession();
  return s ? s->progress.value : 0;
}

LONG ProgressBar::Increment(LONG step) {
  auto* s = host::detail::currentSession();
  if (s == nullptr) return 0;
  // In 64 bits: value + step must not overflow before the clamp.
  const long long next = static_cast<long long>(s->progress.value) + step;
  s->progress.value = static_cast<LONG>(std::clamp<long long>(next, 0, s->progress.maximum));
  changed(*s);
  return s->progress.value;
}

CStatus ProgressBar::PutCaption(const CString& caption) {
  return update([&](host::ProgressReport& bar) { bar.caption = caption.GetAsciiString(); });
}

CString ProgressBar::GetCaption() const {
  const auto* s = host::detail::currentSession();
  return s ? CString(s->progress.caption) : CString();
}

bool ProgressBar::IsCancelPressed() const {
  const auto* s = host::detail::currentSession();
  if (s == nullptr || !s->cancelQuery) return false;
  try {
    return s->cancelQuery();
  } catch (...) {
    return false;
  }
}

}  // namespace XSI
