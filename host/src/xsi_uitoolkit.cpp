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

}  // namespace

CStatus ProgressBar::PutMaximum(LONG maximum) {
  auto* s = host::detail::currentSession();
  if (s == nullptr) return CStatus::Fail;
  s->progress.maximum = std::max<LONG>(maximum, 0);
  s->progress.value = std::min(s->progress.value, s->progress.maximum);
  changed(*s);
  return CStatus::OK;
}

LONG ProgressBar::GetMaximum() const {
  const auto* s = host::detail::currentSession();
  return s ? s->progress.maximum : 0;
}

CStatus ProgressBar::PutValue(LONG value) {
  auto* s = host::detail::currentSession();
  if (s == nullptr) return CStatus::Fail;
  s->progress.value = std::clamp<LONG>(value, 0, s->progress.maximum);
  changed(*s);
  return CStatus::OK;
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
  auto* s = host::detail::currentSession();
  if (s == nullptr) return CStatus::Fail;
  try {
    s->progress.caption = caption.GetAsciiString();
  } catch (...) {
    return CStatus::MemoryOverflow;
  }
  changed(*s);
  return CStatus::OK;
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
